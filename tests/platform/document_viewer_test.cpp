#include "platform/document_viewer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/environment.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

using test::ReadWholeFile;
using test::ScopedEnv;
using test::TempDir;
using test::WriteWholeFile;

// The URL the desktop's opener was given, once it has written it down.
std::string WaitForFile(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = ReadWholeFile(path);
        if (!text.empty() && text.back() == '\n') return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

TEST(DocumentViewer, HandsAFileUrlWithItsSectionToTheDesktopsOpener) {
    TempDir dir;
    const std::string opened = dir.File("opened");
    const std::string opener = dir.File("xdg-open");
    WriteWholeFile(opener, "#!/bin/sh\nprintf '%s\\n' \"$1\" > \"" + opened + ".part\" && mv \"" + opened +
                               ".part\" \"" + opened + "\"\n");
    ASSERT_EQ(chmod(opener.c_str(), 0755), 0);
    ScopedEnv path("PATH", dir.Path() + ":/usr/bin:/bin");

    EXPECT_TRUE(OpenInViewer("/usr/share/doc/test bay/README.md", "pointing-it-at-a-real-relay"));
    EXPECT_EQ(WaitForFile(opened), "file:///usr/share/doc/test%20bay/README.md#pointing-it-at-a-real-relay\n");
    std::filesystem::remove(opened);
    EXPECT_TRUE(OpenInViewer("/opt/tb/README#1.md", ""));
    EXPECT_EQ(WaitForFile(opened), "file:///opt/tb/README%231.md\n");
}

TEST(DocumentViewer, FailsWhenTheDesktopHasNoOpener) {
    TempDir empty;
    ScopedEnv path("PATH", empty.Path());
    EXPECT_FALSE(OpenInViewer("/usr/share/doc/testbay/README.md", ""));
}

}  // namespace
}  // namespace testbay
