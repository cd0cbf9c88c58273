#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/line_settings.h"
#include "platform/network_port.h"
#include "platform/serial_open_failure.h"

namespace testbay {

// One serial device (or pseudo-terminal) opened exclusively in raw mode with
// 8 data bits, or a network port (rfc2217:// or socket://) in its place. All
// calls are non-blocking except WaitReadable and Write, which wait and never
// spin.
class SerialDevice {
public:
    using Wait = NetworkPort::Wait;

    SerialDevice() = default;
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens `path` (O_NOCTTY, non-blocking, close-on-exec), takes flock and
    // TIOCEXCL, sets raw mode and `settings`, raises DTR and RTS and asks for
    // low latency where the driver has it. Returns 0 or the errno of the
    // failing step (EBUSY when another instance holds the device); a failed
    // open leaves the object closed and says why in OpenFailure.
    int Open(const std::string& path, const LineSettings& settings);
    // Why the last Open failed; unchanged by one that succeeded.
    const SerialOpenFailure& OpenFailure() const { return openFailure_; }
    // The time the next Open of a network port may take to connect.
    void SetConnectTimeout(int milliseconds) { connectTimeoutMs_ = milliseconds; }
#ifdef _WIN32
    bool IsOpen() const { return handle_ != nullptr || network_.IsOpen(); }
#else
    bool IsOpen() const { return fd_ >= 0 || network_.IsOpen(); }
#endif

    // Applies baud rate, parity and stop bits and reads them back; false when
    // the driver refused or silently changed any of them (the device then
    // keeps its previous settings). One and a half stop bits are refused.
    bool Apply(const LineSettings& settings);

    // Queues all bytes within `timeoutMs`, then returns once they have left:
    // a device drains its output; a pseudo-terminal, which has no line, takes
    // the bytes' time at the current settings on the process clock. False on
    // any failure or time-out.
    bool Write(const uint8_t* bytes, size_t length, int timeoutMs);
    // Bytes waiting in the input queue (0 when closed or on error).
    size_t QueuedInput() const;
    // Reads what is waiting, never blocks. Returns the count, or -1 when the
    // device has gone (EIO, ENXIO, ENODEV, hang-up).
    long Read(uint8_t* buffer, size_t maximum);
    // Waits until input is waiting, the time is up, or the device has gone.
    // A stop request ends it with CallStopped on a thread in StopEndsCalls.
    Wait WaitReadable(int timeoutMs) const;
    // Drops input and output still queued in the driver.
    void Flush();
    // Drops DTR, releases the lock and closes. Safe to call twice.
    void Close();

private:
#ifdef _WIN32
    // `systemError` is the system's code; `holders` the processes known to hold the port.
    int Refuse(unsigned long systemError, std::vector<DeviceHolder> holders = {});
#else
    int Refuse(const std::string& path, int error);
#endif

    SerialOpenFailure openFailure_;
    NetworkPort network_;
    int connectTimeoutMs_ = kDefaultConnectTimeoutMs;
#ifdef _WIN32
    void* handle_ = nullptr;  // the port's HANDLE, opened for overlapped calls
    void* event_ = nullptr;   // signals the end of one overlapped call
    void* claim_ = nullptr;   // the named object that keeps other instances away
    // Wine may still write the event mask of an abandoned wait: it lands here, not on a stack.
    mutable unsigned long waitEvents_ = 0;
#else
    bool WaitUntilSent(int64_t startUs, size_t length);

    int fd_ = -1;
    bool pseudoTerminal_ = false;
    LineSettings settings_;
#endif
};

}  // namespace testbay
