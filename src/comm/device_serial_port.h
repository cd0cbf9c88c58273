#pragma once

#include <string>

#include "comm/serial_port.h"
#include "platform/line_settings.h"
#include "platform/serial_device.h"

namespace testbay {

// A port on a real serial device (or a pseudo-terminal, or a network port).
// "COM<n>" is looked up in the "Ports" section of Testbay.ini.
class DeviceSerialPort final : public SerialPort {
public:
    // Opens at once at 9600 baud, no parity, one stop bit.
    explicit DeviceSerialPort(int comNumber);
    ~DeviceSerialPort() override;

    int SetBaudrate(uint32_t baud) override;
    int SetParity(int parity, int stopBits) override;
    void Write(const uint8_t* buffer, uint32_t length) override;
    uint32_t Read(uint8_t* buffer, uint32_t maximum) override;
    void Close() override;
    void Reopen() override;
    uint32_t GetBaudrate() const override { return settings_.baud; }
    void WaitForInput(int timeoutMs) override;
    std::string Device() const override { return path_; }
    std::string OpenFailureText() const override;

private:
    void Open();
    // A write failure, a read error or a hang-up: clear and open again.
    void RecoverFromFailure();
    // Connections to network ports show in the trace as opens do.
    void TraceConnection(const char* what) const;

    SerialDevice device_;
    int comNumber_;
    std::string path_;
    bool network_;
    LineSettings settings_;
};

}  // namespace testbay
