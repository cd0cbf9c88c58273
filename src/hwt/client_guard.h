#pragma once

#include <functional>
#include <mutex>

namespace testbay {

class CHwtV4Client;
class HwtClientGuard;

// A test run's hold on the client; released when destroyed or moved from.
class ClientRunHold {
public:
    ClientRunHold() = default;
    ~ClientRunHold() { Release(); }
    ClientRunHold(ClientRunHold&& other) noexcept;
    ClientRunHold& operator=(ClientRunHold&& other) noexcept;
    ClientRunHold(const ClientRunHold&) = delete;
    ClientRunHold& operator=(const ClientRunHold&) = delete;

    explicit operator bool() const { return guard_ != nullptr; }
    void Release();

private:
    friend class HwtClientGuard;
    explicit ClientRunHold(HwtClientGuard* guard) : guard_(guard) {}

    HwtClientGuard* guard_ = nullptr;
};

// Keeps every other user off the hardware-test client while a communication
// test runs on it, so that the requests of two users never interleave on the
// line. A test worker holds a run for as long as it talks to the relay; every
// other user (a sheet's page, the frame, the automation document) takes a
// ClientUse for one handler or call.
//
// - A use is refused while a run is held. A refused user behaves as if there
//   were no client: its call fails the way it fails without a connection (0,
//   -1 or no text) and sends nothing.
// - A run is refused while another run or any use is held; the dialog's
//   Start then reports false, as for a run that is still ending.
// - Uses do not exclude each other.
// - StopRun asks the holder to end soon; the frame uses it when it closes.
class HwtClientGuard {
public:
    // `stop` is called (under the guard's lock, so it must not block) when
    // StopRun asks the run to end.
    ClientRunHold TryStartRun(std::function<void()> stop);
    // False when no run holds the client.
    bool StopRun();
    bool RunHeld() const;

private:
    friend class ClientRunHold;
    friend class ClientUse;
    bool TryEnterUse();
    void LeaveUse();
    void EndRun();

    mutable std::mutex mutex_;
    bool runHeld_ = false;
    std::function<void()> stopRun_;
    int uses_ = 0;
};

// The guard of the process's hardware-test clients.
HwtClientGuard& ProcessClientGuard();

// One user's use of the current client for the length of a scope.
class ClientUse {
public:
    explicit ClientUse(HwtClientGuard& guard = ProcessClientGuard());
    ~ClientUse();
    ClientUse(const ClientUse&) = delete;
    ClientUse& operator=(const ClientUse&) = delete;

    // False while a test run holds the client.
    bool Granted() const { return granted_; }
    // The current client, or nullptr when there is none or the use was refused.
    CHwtV4Client* Client() const;

private:
    HwtClientGuard& guard_;
    const bool granted_;
};

}  // namespace testbay
