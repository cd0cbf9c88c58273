#include "comm/serial_port.h"

#include <mutex>

#include "comm/device_serial_port.h"

namespace testbay {
namespace {

std::mutex g_factoryMutex;
SerialPortFactory g_factory;

}  // namespace

void SetSerialPortFactory(SerialPortFactory factory) {
    std::lock_guard lock(g_factoryMutex);
    g_factory = std::move(factory);
}

std::unique_ptr<SerialPort> MakeSerialPort(int comNumber) {
    SerialPortFactory factory;
    {
        std::lock_guard lock(g_factoryMutex);
        factory = g_factory;
    }
    if (factory) return factory(comNumber);
    return std::make_unique<DeviceSerialPort>(comNumber);
}

}  // namespace testbay
