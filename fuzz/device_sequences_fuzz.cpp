// The boot-system client, the VDEW link and the device-state control (probe,
// state change, entry into the hardware test) against answers from the
// input: the first byte picks the sequence, the next bytes its arguments, the
// rest the answers (see answer_stream.h).
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "answer_stream.h"
#include "bootlink/v4_update.h"
#include "device/device_state.h"
#include "device/enter_hardwaretest.h"
#include "device/vdew_client.h"
#include "hwt/hwt_client.h"

namespace {

using testbay::fuzz::FuzzStream;

using Sequence = std::function<void(int channel, FuzzStream&)>;

const std::vector<Sequence>& Sequences() {
    static const std::vector<Sequence> sequences = {
        [](int channel, FuzzStream&) { testbay::CV4Update(channel, testbay::ComGetBaud(channel)).Connect(); },
        [](int channel, FuzzStream& s) {
            const std::string text = s.Text(40);
            testbay::CV4Update(channel, 38400).SetMlfb(reinterpret_cast<const uint8_t*>(text.c_str()), text.size());
        },
        [](int channel, FuzzStream& s) {
            const testbay::fuzz::Bytes data = s.Take(s.Byte() * 5u);
            testbay::CV4Update(channel, 38400).SetBFNr(data.data(), data.size());
        },
        [](int channel, FuzzStream& s) { testbay::CV4Update(channel, 38400).Reset(s.Byte()); },
        [](int channel, FuzzStream& s) {
            uint8_t out = 0;
            const uint8_t mode = s.Byte(), sub = s.Byte();
            const auto a = static_cast<uint32_t>(s.Int32()), b = static_cast<uint32_t>(s.Int32());
            testbay::CV4Update(channel, 38400).SetTransferMode(mode, sub, a, b, static_cast<uint32_t>(s.Int32()), &out);
        },
        [](int channel, FuzzStream& s) {
            std::array<uint32_t, 8> rates{};
            const uint32_t count = s.Byte() % (rates.size() + 1);
            for (uint32_t index = 0; index < count; ++index) rates[index] = static_cast<uint32_t>(s.Int32());
            testbay::CVDEWClient(channel).ConnectV4(count, count > 0 ? rates.data() : nullptr);
        },
        [](int channel, FuzzStream& s) {
            testbay::CVDEWClient vdew(channel);
            const uint8_t function = s.Byte();
            vdew.SendShort(function, s.Byte());
        },
        [](int channel, FuzzStream& s) {
            uint32_t state = s.Byte() % 5;
            testbay::GetDeviceState(channel, state);
        },
        [](int channel, FuzzStream& s) {
            const uint32_t from = s.Byte() % 5;
            testbay::SetDeviceState(channel, from, testbay::kStateHardwareTest, 1, 0);
        },
        [](int channel, FuzzStream&) { testbay::WaitHwt(channel); },
        [](int channel, FuzzStream&) {
            testbay::CHwtV4Client client(channel);
            testbay::EnterHardwaretest(client);
        },
        [](int channel, FuzzStream& s) { testbay::CHwtV4Client(channel).SetMLFB(s.Text(40)); },
        [](int channel, FuzzStream& s) { testbay::CHwtV4Client(channel).SetSrialNumber(s.Text(40)); },
    };
    return sequences;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStream stream(data, size);
    const uint8_t pick = stream.Byte();
    // The boot system waits longer on port 255, the one not scanned for rates.
    testbay::fuzz::StreamLine line(stream, pick & 0x80 ? 255 : 1);
    Sequences()[(pick & 0x7F) % Sequences().size()](line.Channel(), stream);
    return 0;
}
