// Any file content as Testbay.ini, then one edit (a key set, a key removed, a
// structure written) with names and value from the input; afterwards the file
// must read back as the edit says, and any other key must read as before.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_stream.h"
#include "platform/profile_file.h"

namespace {

using testbay::fuzz::FuzzStream;

// A private folder in memory where there is one: every edit syncs the file.
class ScratchFile {
public:
    ScratchFile() {
        std::string pattern =
            (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/testbay-ini-XXXXXX");
        if (mkdtemp(pattern.data())) folder_ = pattern;
    }
    ~ScratchFile() {
        for (const char* suffix : {"", ".lock", ".tmp"}) std::remove((Path() + suffix).c_str());
        rmdir(folder_.c_str());
    }
    bool Ready() const { return !folder_.empty(); }
    std::string Path() const { return folder_ + "/Testbay.ini"; }

private:
    std::string folder_;
};

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// What the reader makes of a stored value: blanks and one pair of quotes go.
std::string AsRead(std::string_view value) {
    value = Trimmed(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

bool SameName(std::string_view a, std::string_view b) {
    a = Trimmed(a);
    b = Trimmed(b);
    if (a.size() != b.size()) return false;
    for (size_t index = 0; index < a.size(); ++index) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[index]) != lower(b[index])) return false;
    }
    return true;
}

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "profile edit: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchFile scratch;
    if (!scratch.Ready()) return 0;
    const std::string path = scratch.Path();
    FuzzStream stream(data, size);
    const uint8_t edit = stream.Byte() % 3;
    const std::string section = stream.Text(24);
    const std::string key = stream.Text(24);
    const std::string value = stream.Text(40);
    const std::string otherSection = stream.Text(24);
    const std::string otherKey = stream.Text(24);
    const testbay::fuzz::Bytes content = stream.Take(size);

    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);

    const bool otherUntouched = !SameName(otherSection, section) || !SameName(otherKey, key);
    const std::optional<std::string> otherBefore = testbay::ReadProfileValue(path, otherSection, otherKey);

    switch (edit) {
    case 0:
        if (testbay::WriteProfileValue(path, section, key, value)) {
            Check(testbay::ReadProfileValue(path, section, key) == AsRead(value), "a key just set reads otherwise");
        }
        break;
    case 1:
        if (testbay::WriteProfileValue(path, section, key, std::nullopt)) {
            Check(!testbay::ReadProfileValue(path, section, key), "a removed key is still there");
        }
        break;
    default:
        if (testbay::WriteProfileStruct(path, section, key, value.data(), value.size())) {
            std::vector<char> back(value.size() + 1);
            Check(testbay::ReadProfileStruct(path, section, key, back.data(), value.size()) &&
                      std::string(back.data(), value.size()) == value,
                  "a structure just written reads otherwise");
        }
        break;
    }
    if (otherUntouched) {
        Check(testbay::ReadProfileValue(path, otherSection, otherKey) == otherBefore, "an edit changed another key");
    }
    return 0;
}
