// The program's temporary folder against other local users and other
// instances: real processes, and as root two unprivileged users.
#ifndef _WIN32

#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/testbay_app.h"
#include "comm/trace.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

constexpr uid_t kAttacker = 60001;
constexpr uid_t kVictim = 60002;
constexpr int kInstanceFailed = 101;

// A child process, as `user` when given (uid and gid alike); `body` gives its
// exit status.
pid_t Start(std::optional<uid_t> user, const std::function<int()>& body) {
    const pid_t child = fork();
    if (child != 0) return child;
    if (user &&
        (setgroups(0, nullptr) != 0 || setresgid(*user, *user, *user) != 0 || setresuid(*user, *user, *user) != 0)) {
        _exit(100);
    }
    _exit(body());
}

int Finish(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunAs(std::optional<uid_t> user, const std::function<int()>& body) { return Finish(Start(user, body)); }

// Where the program finds its temporary path and its settings.
void UseFolders(const std::string& temporary, const std::string& config) {
    setenv("TMPDIR", temporary.c_str(), 1);
    setenv("TESTBAY_CONFIG_DIR", config.c_str(), 1);
}

// One start of the program in this process: writes a trace line and a log
// line, runs `whileRunning` with its folder, then ends. 0 when the lines
// reached a log in a folder of its own.
int RunInstance(const std::function<void(const std::string&)>& whileRunning = {}) {
    CTestbayApp app;
    if (!app.InitInstance({"/Automation"})) return kInstanceFailed;
    const std::string log = LogPath();
    TraceLine("trace line");
    LogPrintf("log line");
    const fs::path folder = fs::path(log).parent_path();
    struct stat info {};
    const bool ownFolder = lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
                           (info.st_mode & 077) == 0;
    const bool logged = ReadWholeFile(log).find("log line") != std::string::npos;
    if (whileRunning) whileRunning(folder.string() + "/");
    app.ExitInstance();
    return ownFolder && logged ? 0 : kInstanceFailed;
}

// Folders that another user can reach: the test's own folder is opened up,
// the victim keeps a file in a private folder and its own settings.
class OtherUsers : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "acting as two users needs root";
        ASSERT_EQ(chmod(base_.Path().c_str(), 0755), 0);
        for (const std::string& folder : {victimHome_, config_}) {
            ASSERT_TRUE(fs::create_directory(folder));
            ASSERT_EQ(chown(folder.c_str(), kVictim, kVictim), 0);
            ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
        }
        WriteWholeFile(victimFile_, "precious\n");
        ASSERT_EQ(chown(victimFile_.c_str(), kVictim, kVictim), 0);
    }

    // A world-writable sticky folder of `owner`, like /tmp.
    void MakeShared(uid_t owner) {
        ASSERT_TRUE(fs::create_directory(shared_));
        ASSERT_EQ(chown(shared_.c_str(), owner, owner), 0);
        ASSERT_EQ(chmod(shared_.c_str(), 01777), 0);
    }
    // The attacker's folders TESTBAY0 … TESTBAY3, open to everybody, and
    // `plant` for TESTBAY.
    void PlantFolders(const std::function<bool()>& plant) {
        ASSERT_EQ(RunAs(kAttacker,
                        [&] {
                            for (int slot = 0; slot < 4; ++slot) {
                                const std::string folder = shared_ + "TESTBAY" + std::to_string(slot);
                                if (mkdir(folder.c_str(), 0777) != 0 || chmod(folder.c_str(), 0777) != 0) return 1;
                            }
                            return plant() ? 0 : 1;
                        }),
                  0);
    }
    int RunVictim(const std::function<void(const std::string&)>& whileRunning = {}) {
        return RunAs(kVictim, [&] {
            UseFolders(shared_, config_);
            return RunInstance(whileRunning);
        });
    }
    std::set<std::string> SharedEntries() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(shared_)) names.insert(entry.path().filename().string());
        return names;
    }
    void WriteSettings(const char* logfile) {
        WriteWholeFile(config_ + "/Testbay.ini", std::string("[FirmwareUpdate]\r\nLogfile=") + logfile + "\r\n");
        ASSERT_EQ(chown((config_ + "/Testbay.ini").c_str(), kVictim, kVictim), 0);
    }

    TempDir base_;
    const std::string shared_ = base_.File("shared/");
    const std::string victimHome_ = base_.File("victim");
    const std::string victimFile_ = base_.File("victim/notes.txt");
    const std::string config_ = base_.File("config");
};

TEST_F(OtherUsers, PlantedFoldersAndALinkedLogLeaveTheVictimsFileAsItWas) {
    MakeShared(0);
    PlantFolders([this] {
        const std::string fallback = shared_ + "TESTBAY";
        return mkdir(fallback.c_str(), 0777) == 0 && chmod(fallback.c_str(), 0777) == 0 &&
               symlink(victimFile_.c_str(), (fallback + "/LOG.TXT").c_str()) == 0;
    });
    const std::set<std::string> planted = SharedEntries();
    for (const char* logfile : {"0", "1"}) {
        SCOPED_TRACE(std::string("Logfile=") + logfile);
        WriteSettings(logfile);
        EXPECT_EQ(RunVictim(), 0);
        EXPECT_EQ(ReadWholeFile(victimFile_), "precious\n");
        EXPECT_TRUE(fs::is_symlink(shared_ + "TESTBAY/LOG.TXT"));
        EXPECT_EQ(SharedEntries(), planted);
    }
}

TEST_F(OtherUsers, NeitherALinkInPlaceOfTheFolderNorALinkInsideItIsDeletedThrough) {
    // The attacker's own sticky folder: the system lets everybody follow the links of its owner there.
    MakeShared(kAttacker);
    PlantFolders([this] { return symlink(victimHome_.c_str(), (shared_ + "TESTBAY").c_str()) == 0; });
    WriteSettings("1");
    const std::string victimFolder = victimHome_ + "/folder";
    ASSERT_TRUE(fs::create_directory(victimFolder));
    WriteWholeFile(victimFolder + "/kept.txt", "kept\n");
    for (const std::string& path : {victimFolder, victimFolder + "/kept.txt"}) {
        ASSERT_EQ(chown(path.c_str(), kVictim, kVictim), 0);
    }

    EXPECT_EQ(RunVictim([&](const std::string& folder) {
                  // Left in the program's folder by a script or a tool it ran.
                  symlink(victimHome_.c_str(), (folder + "home").c_str());
                  symlink(victimFile_.c_str(), (folder + "notes").c_str());
                  fs::create_directory(folder + "scratch");
                  symlink(victimFolder.c_str(), (folder + "scratch/deeper").c_str());
              }),
              0);
    EXPECT_EQ(ReadWholeFile(victimFile_), "precious\n");
    EXPECT_EQ(ReadWholeFile(victimFolder + "/kept.txt"), "kept\n");
    EXPECT_FALSE(fs::exists(victimHome_ + "/LOG.TXT"));
    EXPECT_TRUE(fs::is_symlink(shared_ + "TESTBAY"));
    EXPECT_EQ(SharedEntries().size(), 5u);
}

// Instances of one user that run side by side, end or are killed.
class Instances : public ::testing::Test {
protected:
    struct Running {
        pid_t pid;
        int report;   // the instance writes its folder here
        int release;  // a byte here lets it end
    };

    void TearDown() override {
        for (const int end : parentEnds_) close(end);
    }

    // Starts an instance that leaves a file in its folder, reports the folder
    // and ends when released. With `gate`, it starts only when the gate's
    // write end closes.
    Running StartInstance(const int* gate = nullptr) {
        int report[2], release[2];
        EXPECT_EQ(pipe(report), 0);
        EXPECT_EQ(pipe(release), 0);
        const pid_t pid = Start(std::nullopt, [&] {
            for (const int end : parentEnds_) close(end);
            close(report[0]);
            close(release[1]);
            char byte;
            if (gate) {
                close(gate[1]);
                (void)!read(gate[0], &byte, 1);
            }
            UseFolders(tmp_.Path(), config_.Path());
            return RunInstance([&](const std::string& folder) {
                WriteWholeFile(folder + "scratch.txt", "left over\n");
                const std::string line = folder + "\n";
                (void)!write(report[1], line.data(), line.size());
                (void)!read(release[0], &byte, 1);
            });
        });
        close(report[1]);
        close(release[0]);
        parentEnds_.push_back(report[0]);
        parentEnds_.push_back(release[1]);
        return {pid, report[0], release[1]};
    }
    // The folder an instance reports, "" when it ended first.
    static std::string Folder(const Running& instance) {
        std::string line;
        char byte;
        while (read(instance.report, &byte, 1) == 1 && byte != '\n') line.push_back(byte);
        return line;
    }
    static int End(const Running& instance) {
        (void)!write(instance.release, "x", 1);
        return Finish(instance.pid);
    }

    TempDir tmp_;
    TempDir config_;
    std::vector<int> parentEnds_;
};

TEST_F(Instances, KilledInstancesLeaveTheirFoldersToTheNextStart) {
    std::vector<Running> killed;
    for (int slot = 0; slot < 4; ++slot) {
        killed.push_back(StartInstance());
        EXPECT_EQ(Folder(killed.back()), tmp_.File("TESTBAY" + std::to_string(slot) + "/"));
    }
    for (const Running& instance : killed) {
        kill(instance.pid, SIGKILL);
        EXPECT_EQ(Finish(instance.pid), 128 + SIGKILL);
    }
    fs::create_directory(tmp_.File("TESTBAY0/stale"));
    WriteWholeFile(tmp_.File("TESTBAY0/stale/file"), "x");

    for (int start = 0; start < 2; ++start) {
        const Running next = StartInstance();
        EXPECT_EQ(Folder(next), tmp_.File("TESTBAY0/"));
        EXPECT_FALSE(fs::exists(tmp_.File("TESTBAY0/stale")));
        EXPECT_EQ(ReadWholeFile(tmp_.File("TESTBAY0/LOG.TXT")).find("log line"),
                  ReadWholeFile(tmp_.File("TESTBAY0/LOG.TXT")).rfind("log line"));
        EXPECT_EQ(End(next), 0);
    }
    EXPECT_FALSE(fs::exists(tmp_.File("TESTBAY0")));
    EXPECT_FALSE(fs::exists(tmp_.File("TESTBAY")));
}

TEST_F(Instances, InstancesStartingTogetherNeverShareAFolderAndEachDeletesOnlyItsOwn) {
    constexpr int kInstances = 6;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<Running> running;
    for (int index = 0; index < kInstances; ++index) running.push_back(StartInstance(gate));
    close(gate[0]);
    close(gate[1]);

    std::set<std::string> folders;
    for (const Running& instance : running) folders.insert(Folder(instance));
    EXPECT_EQ(folders.size(), static_cast<size_t>(kInstances));
    for (const char* name : {"TESTBAY0/", "TESTBAY1/", "TESTBAY2/", "TESTBAY3/", "TESTBAY/"}) {
        EXPECT_EQ(folders.count(tmp_.File(name)), 1u) << name;
    }

    EXPECT_EQ(End(running[0]), 0);
    EXPECT_EQ(End(running[1]), 0);
    size_t kept = 0;
    for (const std::string& folder : folders)
        kept += fs::exists(folder + "LOG.TXT") && fs::exists(folder + "scratch.txt");
    EXPECT_EQ(kept, static_cast<size_t>(kInstances - 2));
    for (int index = 2; index < kInstances; ++index) EXPECT_EQ(End(running[index]), 0);
    EXPECT_TRUE(fs::is_empty(tmp_.Path()));
}

}  // namespace
}  // namespace testbay

#endif
