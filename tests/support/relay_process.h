#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/directories.h"
#include "comm/channel.h"
#include "platform/child_process.h"
#include "support/temp_dir.h"

namespace testbay::test {

// testbay-relay on a pseudo-terminal, reachable as COM1 through the "Ports"
// section of a fresh Testbay.ini.
class RelayProcess {
public:
    explicit RelayProcess(const std::vector<std::string>& options, const std::string& relayPath = TESTBAY_RELAY_PATH) {
        std::vector<std::string> argv{relayPath};
        argv.insert(argv.end(), options.begin(), options.end());
        if (!process_.Start(argv) || !process_.ReadLine(device_, 5000)) {
            device_.clear();
            ADD_FAILURE() << "testbay-relay did not start";
        }
        WriteWholeFile(dir_.File("Testbay.ini"),
                       "[Ports]\r\nCOM1=" + device_ + "\r\n[FirmwareUpdate]\r\nLogfile=1\r\n");
        SetConfigDirectory(dir_.Path());
        SetTempDirectory(dir_.Path());
    }

    const std::string& Device() const { return device_; }
    const TempDir& Dir() const { return dir_; }
    // Ends the relay: its line goes away as an unplugged adapter's does.
    void Stop() { process_.Stop(); }

private:
    TempDir dir_;
    ChildProcess process_;
    std::string device_;
};

// COM1 opened as a channel for the length of a test; a test without it fails.
class RelayChannel {
public:
    RelayChannel() {
        if (!ComOpen(1, channel_)) ADD_FAILURE() << "COM1 did not open";
    }
    ~RelayChannel() { ComClose(channel_); }
    RelayChannel(const RelayChannel&) = delete;
    RelayChannel& operator=(const RelayChannel&) = delete;
    int Index() const { return channel_; }

private:
    int channel_ = -1;
};

}  // namespace testbay::test
