#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace testbay::test {

// The variable that names the system's temporary folder.
#ifdef _WIN32
constexpr const char* kTemporaryFolderVariable = "TMP";
#else
constexpr const char* kTemporaryFolderVariable = "TMPDIR";
#endif

// Sets (or with nullopt unsets) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            Set(name, value->c_str());
        } else {
            Unset(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            Set(name_, old_->c_str());
        } else {
            Unset(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
#ifdef _WIN32
    static void Set(const char* name, const char* value) { _putenv_s(name, value); }
    static void Unset(const char* name) { _putenv_s(name, ""); }  // an empty value removes it there
#else
    static void Set(const char* name, const char* value) { setenv(name, value, 1); }
    static void Unset(const char* name) { unsetenv(name); }
#endif
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace testbay::test
