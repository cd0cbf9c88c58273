#include "platform/profile_file.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "platform/profile_storage.h"

namespace testbay {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// ---------------------------------------------------------------------------
// Text rules

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

// One pair of matching enclosing quotes goes, as the Windows reader does it.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

enum class LineKind { kOther, kBlank, kComment, kSection, kKey };

// A line of the file as byte offsets into the content, with what it holds.
struct Line {
    size_t begin = 0;  // first byte
    size_t end = 0;    // end of the text, before the line end
    size_t next = 0;   // first byte of the following line (end of the line end)
    LineKind kind = LineKind::kOther;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed, quotes still on
};

// The views in the lines point into content, which must outlive them.
std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    size_t pos = content.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (pos < content.size()) {
        Line line;
        line.begin = pos;
        size_t lf = content.find('\n', pos);
        line.end = lf == std::string_view::npos ? content.size() : lf;
        line.next = lf == std::string_view::npos ? content.size() : lf + 1;
        if (lf != std::string_view::npos && line.end > pos && content[line.end - 1] == '\r') --line.end;
        std::string_view text = Trim(content.substr(pos, line.end - pos));
        if (text.empty()) {
            line.kind = LineKind::kBlank;
        } else if (text.front() == ';') {
            line.kind = LineKind::kComment;
        } else if (text.front() == '[') {
            // A header without its ']' still opens a section, so that the keys
            // below it do not leak into the section before.
            size_t close = text.find(']');
            line.kind = LineKind::kSection;
            line.name = Trim(text.substr(1, close == std::string_view::npos ? close : close - 1));
        } else if (size_t equals = text.find('='); equals != std::string_view::npos) {
            line.kind = LineKind::kKey;
            line.name = Trim(text.substr(0, equals));
            line.value = Trim(text.substr(equals + 1));
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

// A section: the index of its header line and the index one past its last line.
struct Section {
    size_t header;
    size_t end;
};

std::optional<Section> FindSection(const std::vector<Line>& lines, std::string_view name) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != LineKind::kSection || !EqualNoCase(lines[i].name, name)) continue;
        size_t end = i + 1;
        while (end < lines.size() && lines[end].kind != LineKind::kSection) ++end;
        return Section{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const std::vector<Line>& lines, Section section, std::string_view key) {
    for (size_t i = section.header + 1; i < section.end; ++i) {
        if (lines[i].kind == LineKind::kKey && EqualNoCase(lines[i].name, key)) return i;
    }
    return std::nullopt;
}

// The line end for lines we add: the file's own style, CRLF for a file that
// has none yet, as Windows writes.
std::string_view LineEndOf(std::string_view content) {
    size_t lf = content.find('\n');
    if (lf != std::string_view::npos && (lf == 0 || content[lf - 1] != '\r')) return "\n";
    return "\r\n";
}

// Names and values that would change the structure of the file cannot be written.
bool Writable(std::string_view section, std::string_view key, std::optional<std::string_view> value) {
    auto hasLineBreak = [](std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; };
    if (hasLineBreak(section) || hasLineBreak(key) || (value && hasLineBreak(*value))) return false;
    if (section.find(']') != std::string_view::npos) return false;
    if (key.find('=') != std::string_view::npos) return false;
    if (!key.empty() && (key.front() == '[' || key.front() == ';')) return false;
    return true;
}

// ---------------------------------------------------------------------------
// Edits: each takes the current content and returns the new one, or nothing
// when the file stays as it is.

std::optional<std::string> SetKey(std::string_view content, std::string_view section, std::string_view key,
                                  std::string_view value) {
    std::vector<Line> lines = SplitLines(content);
    std::string_view eol = LineEndOf(content);
    std::string out;
    std::optional<Section> found = FindSection(lines, section);

    if (!found) {
        out.assign(content);
        if (!lines.empty()) {
            if (lines.back().next == lines.back().end) out += eol;  // last line without its end
            if (lines.back().kind != LineKind::kBlank) out += eol;  // blank line between sections
        }
        out.append("[").append(section).append("]").append(eol);
        out.append(key).append("=").append(value).append(eol);
        return out;
    }

    if (std::optional<size_t> index = FindKey(lines, *found, key)) {
        const Line& line = lines[*index];
        out.assign(content.substr(0, line.begin));
        out.append(line.name).append("=").append(value);
        out.append(content.substr(line.end));
        if (out == content) return std::nullopt;
        return out;
    }

    size_t after = found->header;
    for (size_t i = found->header + 1; i < found->end; ++i) {
        if (lines[i].kind != LineKind::kBlank) after = i;
    }
    const Line& line = lines[after];
    out.assign(content.substr(0, line.next));
    if (line.next == line.end) out += eol;
    out.append(key).append("=").append(value).append(eol);
    out.append(content.substr(line.next));
    return out;
}

// Drops every line for which drop() holds; nothing when none does.
std::optional<std::string> DropLines(std::string_view content, const std::vector<Line>& lines,
                                     const std::vector<bool>& drop) {
    std::string out;
    size_t copied = 0;
    bool any = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!drop[i]) continue;
        out.append(content.substr(copied, lines[i].begin - copied));
        copied = lines[i].next;
        any = true;
    }
    if (!any) return std::nullopt;
    out.append(content.substr(copied));
    return out;
}

// Every line of the key in the first section goes, so that a later duplicate
// cannot show through afterwards.
std::optional<std::string> RemoveKey(std::string_view content, std::string_view section, std::string_view key) {
    std::vector<Line> lines = SplitLines(content);
    std::optional<Section> found = FindSection(lines, section);
    if (!found) return std::nullopt;
    std::vector<bool> drop(lines.size(), false);
    for (size_t i = found->header + 1; i < found->end; ++i) {
        drop[i] = lines[i].kind == LineKind::kKey && EqualNoCase(lines[i].name, key);
    }
    return DropLines(content, lines, drop);
}

}  // namespace

std::optional<std::string> ReadProfileValue(const std::string& path, std::string_view section, std::string_view key) {
    std::string content;
    if (!ReadProfileFile(path, content)) return std::nullopt;
    std::vector<Line> lines = SplitLines(content);
    std::optional<Section> found = FindSection(lines, Trim(section));
    if (!found) return std::nullopt;
    std::optional<size_t> index = FindKey(lines, *found, Trim(key));
    if (!index) return std::nullopt;
    return std::string(Unquote(lines[*index].value));
}

bool WriteProfileValue(const std::string& path, std::string_view section, std::string_view key,
                       std::optional<std::string_view> value) {
    section = Trim(section);
    key = Trim(key);
    if (!Writable(section, key, value)) return false;
    if (!value) {
        return EditProfileFile(path, [&](std::string_view content) { return RemoveKey(content, section, key); });
    }
    return EditProfileFile(path, [&](std::string_view content) { return SetKey(content, section, key, *value); });
}

std::vector<std::pair<std::string, std::string>> ReadProfileSection(const std::string& path, std::string_view section) {
    std::vector<std::pair<std::string, std::string>> keys;
    std::string content;
    if (!ReadProfileFile(path, content)) return keys;
    std::vector<Line> lines = SplitLines(content);
    std::optional<Section> found = FindSection(lines, Trim(section));
    if (!found) return keys;
    for (size_t i = found->header + 1; i < found->end; ++i) {
        if (lines[i].kind != LineKind::kKey) continue;
        // A later duplicate of a key is not what ReadProfileValue returns: leave it out.
        bool duplicate = false;
        for (const auto& [name, value] : keys) duplicate = duplicate || EqualNoCase(name, lines[i].name);
        if (!duplicate) keys.emplace_back(std::string(lines[i].name), std::string(Unquote(lines[i].value)));
    }
    return keys;
}

int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key, int defaultValue) {
    std::optional<std::string> value = ReadProfileValue(path, section, key);
    if (!value || value->empty()) return defaultValue;
    std::string_view text = *value;
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t base = 10;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    uint32_t result = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (base == 16 && LowerAscii(c) >= 'a' && LowerAscii(c) <= 'f') {
            digit = static_cast<uint32_t>(LowerAscii(c) - 'a' + 10);
        } else {
            break;
        }
        result = result * base + digit;
    }
    if (negative) result = 0u - result;
    return static_cast<int>(result);  // modular since C++20
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool ReadProfileStruct(const std::string& path, std::string_view section, std::string_view key, void* dest,
                       size_t size) {
    if (!dest && size != 0) return false;
    std::optional<std::string> value = ReadProfileValue(path, section, key);
    if (!value || value->size() < 2 || value->size() % 2 != 0 || (value->size() - 2) / 2 != size) return false;
    std::vector<unsigned char> bytes(size + 1);
    unsigned sum = 0;
    for (size_t i = 0; i <= size; ++i) {
        int high = HexDigit((*value)[2 * i]);
        int low = HexDigit((*value)[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<unsigned char>(high * 16 + low);
        if (i < size) sum += bytes[i];
    }
    if ((sum & 0xFFu) != bytes[size]) return false;
    if (size != 0) std::memcpy(dest, bytes.data(), size);
    return true;
}

bool WriteProfileStruct(const std::string& path, std::string_view section, std::string_view key, const void* source,
                        size_t size) {
    if (!source && size != 0) return false;
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const unsigned char*>(source);
    std::string text;
    text.reserve(2 * size + 2);
    unsigned sum = 0;
    auto appendByte = [&](unsigned byte) {
        text += kHex[(byte >> 4) & 0xF];
        text += kHex[byte & 0xF];
    };
    for (size_t i = 0; i < size; ++i) {
        appendByte(bytes[i]);
        sum += bytes[i];
    }
    appendByte(sum & 0xFFu);
    return WriteProfileValue(path, section, key, text);
}

}  // namespace testbay
