// A short session against a relay on COM<n> (default 1): find the link rate,
// identify the relay and blink its LEDs. Point COM<n> at a device through the
// "Ports" section of Testbay.ini.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "comm/channel.h"
#include "comm/trace.h"
#include "hwt/hwt_client.h"

int main(int argc, char** argv) {
    using namespace testbay;
    const int comNumber = argc > 1 ? std::atoi(argv[1]) : 1;
    LogOpen("LOG.TXT");
    int channel = -1;
    if (!ComOpen(comNumber, channel)) {
        std::fprintf(stderr, "COM%i cannot be opened\n", comNumber);
        return 1;
    }
    CHwtV4Client client(channel);
    if (client.FindBaudrate() != 0) {
        std::fprintf(stderr, "no hardware-test firmware answers on COM%i\n", comNumber);
        return 1;
    }
    std::printf("hardware test answers at %u baud\n", ComGetBaud(channel));

    std::string cpu;
    const int cpuResult = client.GetCPU(cpu);
    std::printf("GetCPU -> %i, CPU board \"%s\"\n", cpuResult, cpu.c_str());
    int32_t ledCount = 0;
    const int countResult = client.GetLedCount(ledCount);
    std::printf("GetLedCount -> %i, %i LEDs\n", countResult, ledCount);
    for (int32_t led = 1; led <= ledCount; led += 2) client.SetLed(led, 1);
    std::string states;
    for (int32_t led = 1; led <= ledCount; ++led) {
        int32_t on = 0;
        client.GetLed(led, on);
        states += on ? '*' : '.';
    }
    std::printf("LED states after lighting the odd ones: %s\n", states.c_str());
    const int baudResult = client.SetBaudrate(0, 0);
    std::printf("SetBaudrate(0, 0) -> %i, link now at %u baud\n", baudResult, ComGetBaud(channel));
    const int checkResult = client.CheckHwt();
    std::printf("CheckHwt at the new rate -> %i\n", checkResult);
    std::printf("trace: %s\n", LogPath().c_str());
    ComClose(channel);
    LogClose();
    return 0;
}
