// testbay-relay: the virtual relay on a pseudo-terminal.
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "sim/pty_host.h"

namespace {

std::atomic<bool> g_stop{false};

void RequestStop(int) { g_stop.store(true); }

int ParityCode(const std::string& name) {
    if (name == "odd") return testbay::kParityOdd;
    if (name == "even") return testbay::kParityEven;
    if (name == "mark") return testbay::kParityMark;
    if (name == "space") return testbay::kParitySpace;
    return testbay::kParityNone;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Virtual protection relay on a pseudo-terminal"};
    testbay::sim::RelayConfig config;
    std::string state = "hwt";
    std::string parity = "none";
    std::string appParity = "even";
    bool oldFirmware = false;
    std::string cpu = "MBX2";
    size_t leds = 16;
    std::string link;
    bool wireTiming = false;
    bool writeDone = false;
    testbay::sim::FaultConfig faults;
    const auto parities = CLI::IsMember({"none", "odd", "even", "mark", "space"});
    app.add_option("--state", state, "firmware running at start")
        ->check(CLI::IsMember({"boot", "app", "hwt"}))
        ->capture_default_str();
    app.add_option("--baud", config.hardwareTestLine.baud, "rate of the hardware-test firmware at start")
        ->capture_default_str();
    app.add_option("--parity", parity, "parity of the hardware-test firmware at start")
        ->check(parities)
        ->capture_default_str();
    app.add_option("--boot-baud", config.bootLine.baud, "rate of the boot system")->capture_default_str();
    app.add_option("--app-baud", config.applicationLine.baud, "rate of the protection application")
        ->capture_default_str();
    app.add_option("--app-parity", appParity, "parity of the protection application")
        ->check(parities)
        ->capture_default_str();
    app.add_flag("--any-parity", config.anyParity,
                 "answer whatever parity the PC side sets, as long as the rate matches (for a network port server "
                 "between them, which cannot show parity on the pseudo-terminal)");
    app.add_flag("--old-firmware", oldFirmware,
                 "hardware-test firmware without order and serial number writes (left to the boot system)");
    app.add_option("--boot-nak-every", config.bootNakEvery, "the boot system answers every n-th telegram with NAK");
    app.add_option("--cpu", cpu, "CPU board type")->capture_default_str();
    app.add_option("--leds", leds, "number of LEDs")->check(CLI::Range(1, 64))->capture_default_str();
    app.add_option("--link", link, "also reach the device through this symbolic link");
    app.add_flag("--wire-timing", wireTiming, "each byte takes its bit time at the current rate");
    app.add_flag("--write-done", writeDone, "answer memory writes with DONE, so that the PC sends each twice");
    app.add_option("--drop-every", faults.dropEvery, "lose every n-th answer");
    app.add_option("--corrupt-every", faults.corruptEvery, "corrupt the checksum of every n-th answer");
    app.add_option("--wrong-echo-every", faults.wrongEchoEvery,
                   "answer every n-th request as if another had come (a NAK from the boot system)");
    app.add_option("--delay", faults.delayMs, "delay every answer by this many milliseconds");
    app.add_option("--noise", faults.noiseBytes, "send this many noise bytes before every answer");
    app.add_flag("--babble", faults.babble, "never stop sending after the first request");
    app.add_flag("--silent", faults.silent, "never answer");
    app.add_option("--faults-after", faults.faultsAfter, "the faults above start after this many good answers");
    app.add_option("--silent-after", faults.silentAfter, "fall silent for good after this many answers");
    app.add_option("--hang-up-after", faults.hangUpAfter,
                   "close the line on the next request after this many answers, as an unplugged adapter does");
    std::string restartInto = "app";
    app.add_option("--restart-after", faults.restartAfter, "restart after this many answers ...");
    app.add_option("--restart-into", restartInto, "... into this firmware")
        ->check(CLI::IsMember({"boot", "app", "hwt"}))
        ->capture_default_str();
    CLI11_PARSE(app, argc, argv);

    config.hardwareTestLine.parity = ParityCode(parity);
    config.applicationLine.parity = ParityCode(appParity);
    config.startState = state == "boot"  ? testbay::kStateBootSystem
                        : state == "app" ? testbay::kStateApplication
                                         : testbay::kStateHardwareTest;
    faults.restartInto = restartInto == "boot" ? 1 : restartInto == "app" ? 2 : 3;
    testbay::sim::RelayModel model(config);
    model.Hardware().identity.cpuType = cpu;
    model.Hardware().identity.writesIdentity = !oldFirmware;
    model.Hardware().frontPanel.leds.assign(leds, false);
    model.Hardware().memory.writesAnswerDone = writeDone;
    testbay::sim::PtyRelayHost host(model, faults, wireTiming);
    if (!host.Start()) {
        std::perror("testbay-relay: cannot create a pseudo-terminal");
        return 1;
    }
    if (!link.empty()) {
        unlink(link.c_str());
        if (symlink(host.DevicePath().c_str(), link.c_str()) != 0) {
            std::perror("testbay-relay: cannot create the link");
            return 1;
        }
    }
    std::signal(SIGTERM, RequestStop);
    std::signal(SIGINT, RequestStop);
    std::printf("%s\n", host.DevicePath().c_str());
    std::fflush(stdout);
    host.Run(g_stop);
    if (!link.empty()) unlink(link.c_str());
    return 0;
}
