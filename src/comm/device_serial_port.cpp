#include "comm/device_serial_port.h"

#include "comm/port_mapping.h"
#include "comm/port_open_failure.h"
#include "comm/trace.h"
#include "platform/clock.h"
#include "platform/network_port.h"

namespace testbay {
namespace {

// Time allowed for one write: 5 ms per byte and 100 ms on top.
int WriteTimeoutMs(uint32_t length) { return static_cast<int>(length) * 5 + 100; }

}  // namespace

DeviceSerialPort::DeviceSerialPort(int comNumber)
    : comNumber_(comNumber), path_(ComPortPath(comNumber)), network_(IsNetworkPortPath(path_)) {
    Open();
}

DeviceSerialPort::~DeviceSerialPort() { Close(); }

void DeviceSerialPort::Open() {
    Close();
    if (network_) device_.SetConnectTimeout(ConnectTimeoutMs());
    open_ = device_.Open(path_, settings_) == 0 ? 1 : 0;
    if (network_ && open_) TraceConnection("connected to");
}

int DeviceSerialPort::SetBaudrate(uint32_t baud) {
    if (!IsOpen()) return 0;
    LineSettings wanted = settings_;
    wanted.baud = baud;
    if (!device_.Apply(wanted)) return 0;
    settings_ = wanted;
    return 1;
}

int DeviceSerialPort::SetParity(int parity, int stopBits) {
    if (!IsOpen()) return 0;
    LineSettings wanted = settings_;
    wanted.parity = parity;
    wanted.stopBits = stopBits;
    if (!device_.Apply(wanted)) return 0;
    settings_ = wanted;
    return 1;
}

void DeviceSerialPort::Write(const uint8_t* buffer, uint32_t length) {
    if (length == 0 || !IsOpen()) return;
    byteCount_ += length;
    if (!device_.Write(buffer, length, WriteTimeoutMs(length))) RecoverFromFailure();
}

uint32_t DeviceSerialPort::Read(uint8_t* buffer, uint32_t maximum) {
    if (!IsOpen() || maximum == 0) return 0;
    const long count = device_.Read(buffer, maximum);
    if (count < 0) {
        RecoverFromFailure();
        return 0;
    }
    byteCount_ += static_cast<uint32_t>(count);
    return static_cast<uint32_t>(count);
}

void DeviceSerialPort::WaitForInput(int timeoutMs) {
    if (timeoutMs <= 0) return;
    if (IsOpen()) {
        const int64_t start = ProcessClock().NowMs();
        if (device_.WaitReadable(timeoutMs) != SerialDevice::Wait::Failed) return;
        RecoverFromFailure();
        timeoutMs -= static_cast<int>(ProcessClock().NowMs() - start);
    }
    // A dead line has nothing to wait for but the caller's deadline.
    ProcessClock().SleepMs(timeoutMs);
}

std::string DeviceSerialPort::OpenFailureText() const {
    if (IsOpen()) return {};
    return PortOpenFailureText(comNumber_, path_, device_.OpenFailure());
}

void DeviceSerialPort::Close() {
    if (network_ && device_.IsOpen()) TraceConnection("disconnected from");
    open_ = 0;
    device_.Close();
}

void DeviceSerialPort::Reopen() {
    if (device_.IsOpen()) Open();
}

void DeviceSerialPort::RecoverFromFailure() {
    if (network_) TraceConnection("lost the connection to");
    device_.Flush();
    Reopen();
    if (network_ && !IsOpen()) TraceLine(OpenFailureText().c_str());
}

void DeviceSerialPort::TraceConnection(const char* what) const {
    const std::string line = "COM" + std::to_string(comNumber_) + ": " + what + " " + path_;
    TraceLine(line.c_str());
}

}  // namespace testbay
