#include "platform/device_holder.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testbay {
namespace {

// A machine with many processes is searched this far and no further.
constexpr size_t kMaxDescriptors = 65536;
constexpr size_t kMaxHolders = 4;
constexpr std::streamsize kMaxCommandLine = 4096;

struct FileId {
    dev_t device;
    ino_t inode;
};

bool IdOf(const std::string& path, FileId& id) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return false;
    id = {status.st_dev, status.st_ino};
    return true;
}

bool IsNumber(const char* text) {
    if (*text == '\0') return false;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

DeviceHolder DescribeProcess(long pid, const std::string& procRoot) {
    DeviceHolder holder;
    holder.pid = pid;
    holder.thisProcess = pid == static_cast<long>(getpid());
    const std::string directory = procRoot + std::to_string(pid) + "/";
    std::ifstream comm(directory + "comm");
    std::getline(comm, holder.program);
    std::ifstream cmdline(directory + "cmdline", std::ios::binary);
    std::string text(static_cast<size_t>(kMaxCommandLine), '\0');
    cmdline.read(text.data(), kMaxCommandLine);
    text.resize(static_cast<size_t>(cmdline.gcount()));
    std::istringstream words(text);
    std::string word;
    for (bool program = true; std::getline(words, word, '\0'); program = false) {
        if (!program) holder.arguments.push_back(word);
    }
    return holder;
}

void AddHolder(std::vector<long>& pids, long pid) {
    if (pid > 0 && pids.size() < kMaxHolders && std::find(pids.begin(), pids.end(), pid) == pids.end()) {
        pids.push_back(pid);
    }
}

// Lines such as "1: FLOCK  ADVISORY  WRITE 4711 00:19:4 0 EOF": the pid and
// the file as hexadecimal major:minor of its file system and the inode.
// Waiters ("1: -> FLOCK ...") hold nothing.
std::vector<long> LockHolders(const FileId& id, const std::string& procRoot) {
    std::vector<long> pids;
    std::ifstream locks(procRoot + "locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, type, kind, mode, file;
        long pid = 0;
        if (!(fields >> number >> type) || type == "->") continue;
        if (!(fields >> kind >> mode >> pid >> file)) continue;
        unsigned int major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
        if (makedev(major, minor) == id.device && inode == id.inode) AddHolder(pids, pid);
    }
    return pids;
}

std::vector<long> DescriptorHolders(const FileId& id, const std::string& procRoot) {
    std::vector<long> pids;
    DIR* processes = opendir(procRoot.c_str());
    if (!processes) return pids;
    size_t looked = 0;
    while (const dirent* process = readdir(processes)) {
        if (!IsNumber(process->d_name)) continue;
        const std::string fdDirectory = procRoot + process->d_name + "/fd/";
        DIR* descriptors = opendir(fdDirectory.c_str());
        if (!descriptors) continue;
        while (const dirent* descriptor = readdir(descriptors)) {
            if (!IsNumber(descriptor->d_name)) continue;
            if (++looked > kMaxDescriptors) break;
            FileId open{};
            if (IdOf(fdDirectory + descriptor->d_name, open) && open.device == id.device && open.inode == id.inode) {
                AddHolder(pids, std::strtol(process->d_name, nullptr, 10));
                break;
            }
        }
        closedir(descriptors);
        if (looked > kMaxDescriptors) break;
    }
    closedir(processes);
    return pids;
}

bool InProcessGroups(gid_t group) {
    if (getegid() == group) return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int filled = getgroups(count, groups.data());
    return filled > 0 && std::find(groups.begin(), groups.begin() + filled, group) != groups.begin() + filled;
}

}  // namespace

std::vector<DeviceHolder> FindDeviceHolders(const std::string& device, const std::string& procRoot) {
    FileId id{};
    if (!IdOf(device, id)) return {};
    std::vector<long> pids = LockHolders(id, procRoot);
    if (pids.empty()) pids = DescriptorHolders(id, procRoot);
    std::vector<DeviceHolder> holders;
    for (const long pid : pids) holders.push_back(DescribeProcess(pid, procRoot));
    return holders;
}

std::string AccessHint(const std::string& device) {
    struct stat status {};
    if (stat(device.c_str(), &status) != 0) return {};
    DeviceAccess access;
    const group* owner = getgrgid(status.st_gid);
    access.group = owner ? owner->gr_name : std::to_string(status.st_gid);
    const passwd* user = getpwuid(geteuid());
    access.user = user ? user->pw_name : std::to_string(geteuid());
    access.inProcess = InProcessGroups(status.st_gid);
    if (user && user->pw_gid == status.st_gid) access.listed = true;
    for (char** member = owner ? owner->gr_mem : nullptr; member && *member; ++member) {
        if (access.user == *member) access.listed = true;
    }
    access.groupMayReadWrite = (status.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    return AccessHintText(access);
}

std::string AccessHintText(const DeviceAccess& access) {
    if (access.group.empty()) return {};
    if (!access.inProcess && access.listed) {
        return "user " + access.user + " was added to group " + access.group +
               " after this session began: log in again";
    }
    if (!access.inProcess) {
        return "the device belongs to group " + access.group + ", which user " + access.user +
               " is not in (add it with: sudo usermod -aG " + access.group + " " + access.user + ", then log in again)";
    }
    if (!access.groupMayReadWrite) return "group " + access.group + " may not read and write the device";
    return {};
}

}  // namespace testbay
