#include "platform/document_viewer.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace testbay {
namespace {

// xdg-open runs in the background of a shell that ends at once, so that
// neither a viewer that stays open nor its exit is this program's business.
constexpr char kOpenInBackground[] =
    "command -v xdg-open >/dev/null 2>&1 || exit 127; xdg-open \"$1\" </dev/null >/dev/null 2>&1 &";

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool StaysInUrl(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

std::string FileUrl(const std::string& path, const std::string& anchor) {
    std::string url = "file://";
    for (const unsigned char c : path) {
        if (StaysInUrl(c)) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHexDigits[c >> 4];
            url += kHexDigits[c & 0xF];
        }
    }
    if (!anchor.empty()) url += "#" + anchor;
    return url;
}

}  // namespace

bool OpenInViewer(const std::string& file, const std::string& anchor) {
    const std::string url = FileUrl(file, anchor);
    const char* argv[] = {"sh", "-c", kOpenInBackground, "sh", url.c_str(), nullptr};

    // The viewer starts with no signal blocked or ignored by this program.
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return false;
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t shell = -1;
    const int failed = posix_spawn(&shell, "/bin/sh", nullptr, &attributes, const_cast<char* const*>(argv), environ);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) return false;

    int status = 0;
    while (waitpid(shell, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace testbay
