#pragma once

#include <string>

namespace testbay {

// The relay side of a pseudo-terminal: the master end, and the path of the
// slave end that a serial channel opens like any device.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates the pair, puts the slave into raw mode and keeps one slave
    // descriptor open so that the master does not see a hang-up while no
    // client has the device open. Returns false with errno set on failure.
    bool Create();
    int MasterFd() const { return masterFd_; }
    const std::string& SlavePath() const { return slavePath_; }
    // Closes both ends: a client then sees the line go away.
    void Close();

private:
    int masterFd_ = -1;
    int slaveFd_ = -1;
    std::string slavePath_;
};

}  // namespace testbay
