#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace testbay {

// One opened serial port. The concrete port talks to a device; the virtual
// relay provides an in-memory one for tests.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // 1 on success; a refused rate keeps the previous one.
    virtual int SetBaudrate(uint32_t baud) = 0;
    // 1 on success; refused settings keep the previous ones.
    virtual int SetParity(int parity, int stopBits) = 0;
    virtual void Write(const uint8_t* buffer, uint32_t length) = 0;
    // What is already waiting, at most `maximum` bytes; never blocks.
    virtual uint32_t Read(uint8_t* buffer, uint32_t maximum) = 0;
    virtual void Close() = 0;
    virtual void Reopen() = 0;
    virtual uint32_t GetBaudrate() const = 0;
    // Returns when input is waiting, the time is up, or the port has failed.
    // A closed or failed port waits out the time: callers never spin.
    virtual void WaitForInput(int timeoutMs) = 0;
    // The device behind the port, for the user; "" when it has none.
    virtual std::string Device() const { return {}; }
    // Why a port that is not open could not be opened; "" when it cannot tell.
    virtual std::string OpenFailureText() const { return {}; }

    bool IsOpen() const { return open_ != 0; }
    uint32_t TakeByteCount() {
        const uint32_t count = byteCount_;
        byteCount_ = 0;
        return count;
    }

protected:
    uint32_t byteCount_ = 0;
    int open_ = 0;
};

// How ComOpen makes a port for "COM<n>". Tests and the virtual relay install
// their own; nullptr puts the device port back.
using SerialPortFactory = std::function<std::unique_ptr<SerialPort>(int comNumber)>;
void SetSerialPortFactory(SerialPortFactory factory);
std::unique_ptr<SerialPort> MakeSerialPort(int comNumber);

}  // namespace testbay
