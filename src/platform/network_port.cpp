#include "platform/network_port.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/clock.h"

namespace testbay {
namespace {

using namespace rfc2217;
using SteadyTime = std::chrono::steady_clock;

constexpr std::string_view kTelnetScheme = "rfc2217://";
constexpr std::string_view kPlainScheme = "socket://";
constexpr size_t kReceiveChunk = 4096;
// Chunks one call takes in at most, so that a flooding server cannot hold it.
constexpr int kChunksPerCall = 16;
// Received data kept for Read; a line that floods past it loses the newest bytes.
constexpr size_t kInputLimit = 1 << 16;
constexpr int kCloseSendTimeoutMs = 100;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char wanted, char given) {
               return std::tolower(static_cast<unsigned char>(given)) == wanted;
           });
}

std::string ErrorText(int error) { return std::error_code(error, std::generic_category()).message(); }

std::string Duration(int milliseconds) {
    if (milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " s";
    return std::to_string(milliseconds) + " ms";
}

// A setting as the user knows it, for the reason of a refusal.
std::string SettingText(Command command, const LineSettings& settings) {
    static const char* const kParities[] = {"no", "odd", "even", "mark", "space"};
    switch (command) {
    case kSetBaudrate: return std::to_string(settings.baud) + " bit/s";
    case kSetDatasize: return "8 data bits";
    case kSetParity: return std::string(kParities[settings.parity]) + " parity";
    case kSetStopsize:
        return settings.stopBits == kStopTwo          ? "two stop bits"
               : settings.stopBits == kStopOneAndHalf ? "one and a half stop bits"
                                                      : "one stop bit";
    default: return "the setting";
    }
}

Bytes SettingValue(Command command, const LineSettings& settings) {
    switch (command) {
    case kSetBaudrate: return BaudValue(settings.baud);
    case kSetDatasize: return {8};
    case kSetParity: return {ParityValue(settings.parity)};
    case kSetStopsize: return {StopsizeValue(settings.stopBits)};
    default: return {};
    }
}

}  // namespace

bool IsNetworkPortPath(const std::string& path) {
    return StartsWithNoCase(path, kTelnetScheme) || StartsWithNoCase(path, kPlainScheme);
}

bool ParseNetworkAddress(const std::string& path, NetworkAddress& address) {
    NetworkAddress parsed;
    std::string_view rest = path;
    if (StartsWithNoCase(rest, kTelnetScheme)) {
        parsed.telnet = true;
        rest.remove_prefix(kTelnetScheme.size());
    } else if (StartsWithNoCase(rest, kPlainScheme)) {
        rest.remove_prefix(kPlainScheme.size());
    } else {
        return false;
    }
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return false;
    std::string_view host = rest.substr(0, colon);
    const std::string_view port = rest.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
        return false;  // an IPv6 address needs its brackets
    }
    const bool hostUsable = !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' || c == ':' || c == '%';
    });
    if (!hostUsable || port.empty() || port.size() > 5) return false;
    unsigned number = 0;
    for (const char digit : port) {
        if (!std::isdigit(static_cast<unsigned char>(digit))) return false;
        number = number * 10 + static_cast<unsigned>(digit - '0');
    }
    if (number == 0 || number > 65535) return false;
    parsed.host = std::string(host);
    parsed.port = static_cast<uint16_t>(number);
    address = std::move(parsed);
    return true;
}

NetworkPort::~NetworkPort() { Close(); }

int NetworkPort::Refuse(int error, std::string reason) {
    StopKeepAlive();
    connection_.Close();
    input_.clear();
    openFailure_ = SerialOpenFailure{error, std::move(reason), {}, {}};
    return error;
}

int NetworkPort::Open(const std::string& path, const LineSettings& settings, int connectTimeoutMs,
                      std::chrono::milliseconds keepAliveInterval) {
    Close();
    if (!ParseNetworkAddress(path, address_)) {
        return Refuse(EINVAL, "not a network address: rfc2217://host:port or socket://host:port expected");
    }
    if (!Acceptable(settings)) return Refuse(EINVAL, ErrorText(EINVAL));
    if (const int error = connection_.Connect(address_.host, address_.port, connectTimeoutMs)) {
        return Refuse(error, error == ETIMEDOUT ? "no connection within " + Duration(connectTimeoutMs)
                                                : connection_.ConnectFailure().systemText);
    }
    session_ = ClientSession();
    dropped_ = false;
    settings_ = settings;
    lastSend_ = SteadyTime::now();
    if (address_.telnet) {
        // Commands wait for the server's consent to the option.
        if (!SendWire(session_.Greeting(), kConfirmTimeoutMs) ||
            !WaitFor([this] { return session_.ComPortAgreed().has_value(); })) {
            return Refuse(dropped_ ? ECONNRESET : ETIMEDOUT,
                          dropped_
                              ? "the server closed the connection"
                              : "the server did not answer the COM port option within " + Duration(kConfirmTimeoutMs));
        }
        if (!*session_.ComPortAgreed()) return Refuse(EPROTO, "the server refuses the COM port option");
        if (!ApplyTelnet(settings, true)) return Refuse(dropped_ ? ECONNRESET : EINVAL, refusal_);
        keepAlive_ = std::thread([this, keepAliveInterval] { KeepAlive(keepAliveInterval); });
    }
    return 0;
}

bool NetworkPort::Apply(const LineSettings& settings) {
    if (!IsOpen() || dropped_ || !Acceptable(settings)) return false;
    if (address_.telnet && !ApplyTelnet(settings, false)) return false;
    settings_ = settings;
    return true;
}

bool NetworkPort::ApplyTelnet(const LineSettings& settings, bool everything) {
    std::vector<Command> asked;
    if (everything || settings.baud != settings_.baud) asked.push_back(kSetBaudrate);
    if (everything) asked.push_back(kSetDatasize);
    if (everything || settings.parity != settings_.parity) asked.push_back(kSetParity);
    if (everything || settings.stopBits != settings_.stopBits) asked.push_back(kSetStopsize);
    Bytes wire;
    for (const Command command : asked) session_.AppendCommand(command, SettingValue(command, settings), wire);
    // DTR and RTS as on a local port; a server that cannot set them is no error.
    if (everything) {
        session_.AppendCommand(kSetControl, {kControlDtrOn}, wire);
        session_.AppendCommand(kSetControl, {kControlRtsOn}, wire);
    }
    if (wire.empty()) return true;

    const auto answered = [&] {
        return std::all_of(asked.begin(), asked.end(), [&](Command c) { return session_.Answer(c).has_value(); });
    };
    const bool allAnswered = SendWire(wire, kConfirmTimeoutMs) && WaitFor(answered);
    if (dropped_) {
        refusal_ = "the server closed the connection";
        return false;
    }
    // A refusal says more than a missing answer.
    const auto refused = std::find_if(asked.begin(), asked.end(), [&](Command command) {
        const std::optional<Bytes> answer = session_.Answer(command);
        return answer && *answer != SettingValue(command, settings);
    });
    if (refused == asked.end()) {
        if (allAnswered) return true;
        const auto missing =
            std::find_if(asked.begin(), asked.end(), [&](Command c) { return !session_.Answer(c).has_value(); });
        refusal_ = "the server did not confirm " +
                   SettingText(missing == asked.end() ? asked.front() : *missing, settings) + " within " +
                   Duration(kConfirmTimeoutMs);
    } else {
        refusal_ = "the server did not take " + SettingText(*refused, settings);
    }
    if (!everything) {
        // The server may have taken the others: put them back as they were.
        Bytes restore;
        for (const Command command : asked) session_.AppendCommand(command, SettingValue(command, settings_), restore);
        SendWire(restore, kConfirmTimeoutMs);
    }
    return false;
}

bool NetworkPort::Write(const uint8_t* bytes, size_t length, int timeoutMs) {
    if (!IsOpen() || dropped_) return false;
    Clock& clock = ProcessClock();
    const int64_t startUs = clock.NowUs();
    Bytes wire;
    if (address_.telnet) {
        wire.reserve(length + length / 8 + 1);
        AppendData(bytes, length, wire);
    } else {
        wire.assign(bytes, bytes + length);
    }
    if (!SendWire(wire, timeoutMs)) return false;
    // As on a pseudo-terminal: the answer window opens when the bytes have left.
    const int64_t leftUs = startUs + WireTimeUs(settings_, length) - clock.NowUs();
    if (leftUs > 0) clock.SleepUs(leftUs);
    return true;
}

long NetworkPort::Read(uint8_t* buffer, size_t maximum) {
    if (!IsOpen()) return -1;
    if (maximum == 0) return 0;
    // What came before a drop is still read; the drop shows after it.
    if (input_.empty()) ReceiveWaiting();
    if (input_.empty()) return dropped_ ? -1 : 0;
    const size_t count = std::min(maximum, input_.size());
    std::copy_n(input_.begin(), count, buffer);
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(count));
    return static_cast<long>(count);
}

NetworkPort::Wait NetworkPort::WaitReadable(int timeoutMs) const {
    if (!input_.empty()) return Wait::Readable;
    if (!IsOpen() || dropped_) return Wait::Failed;
    return connection_.WaitReadable(timeoutMs);
}

void NetworkPort::Flush() {
    if (!IsOpen()) return;
    if (address_.telnet && !dropped_) {
        Bytes wire;
        session_.AppendCommand(kPurgeData, {kPurgeBoth}, wire);
        SendWire(wire, kConfirmTimeoutMs);
    }
    ReceiveWaiting();
    input_.clear();
}

void NetworkPort::Close() {
    StopKeepAlive();
    if (!IsOpen()) return;
    if (address_.telnet && !dropped_) {
        Bytes wire;
        session_.AppendCommand(kSetControl, {kControlDtrOff}, wire);
        SendWire(wire, kCloseSendTimeoutMs);
    }
    connection_.Close();
    input_.clear();
    dropped_ = false;
}

bool NetworkPort::SendWire(const Bytes& wire, int timeoutMs) {
    const std::lock_guard lock(sendMutex_);
    lastSend_ = SteadyTime::now();
    return connection_.Send(wire.data(), wire.size(), timeoutMs);
}

bool NetworkPort::ReceiveWaiting() {
    if (dropped_) return false;
    uint8_t chunk[kReceiveChunk];
    Bytes data;
    Bytes reply;
    for (int round = 0; round < kChunksPerCall; ++round) {
        const long count = connection_.Receive(chunk, sizeof chunk);
        if (count == 0) break;
        if (count < 0) {
            dropped_ = true;
            break;
        }
        if (address_.telnet) {
            session_.Receive(chunk, static_cast<size_t>(count), data, reply);
        } else {
            data.assign(chunk, chunk + count);
        }
        const size_t kept = std::min(data.size(), kInputLimit - std::min(kInputLimit, input_.size()));
        input_.insert(input_.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(kept));
        data.clear();
    }
    if (!reply.empty() && !dropped_) SendWire(reply, kConfirmTimeoutMs);
    return !dropped_;
}

bool NetworkPort::WaitFor(const std::function<bool()>& done) {
    // The process clock decides; real time bounds a server that keeps sending
    // while a virtual clock stands still.
    Clock& clock = ProcessClock();
    const int64_t deadline = clock.NowMs() + kConfirmTimeoutMs;
    const SteadyTime::time_point realDeadline = SteadyTime::now() + std::chrono::milliseconds(kConfirmTimeoutMs);
    for (;;) {
        if (!ReceiveWaiting()) return false;
        if (done()) return true;
        const int64_t left = std::min<int64_t>(
            deadline - clock.NowMs(),
            std::chrono::duration_cast<std::chrono::milliseconds>(realDeadline - SteadyTime::now()).count() + 1);
        if (left <= 0 || connection_.WaitReadable(static_cast<int>(left)) != Wait::Readable) return false;
    }
}

void NetworkPort::KeepAlive(std::chrono::milliseconds interval) {
    static const uint8_t kKeepAlive[] = {kIac, kNop};
    std::unique_lock lock(sendMutex_);
    while (!keepAliveWake_.wait_until(lock, lastSend_ + interval, [this] { return stopKeepAlive_; })) {
        if (SteadyTime::now() < lastSend_ + interval) continue;  // the caller sent meanwhile
        lastSend_ = SteadyTime::now();
        connection_.Send(kKeepAlive, sizeof kKeepAlive, kConfirmTimeoutMs);
    }
}

void NetworkPort::StopKeepAlive() {
    if (!keepAlive_.joinable()) return;
    {
        const std::lock_guard lock(sendMutex_);
        stopKeepAlive_ = true;
    }
    keepAliveWake_.notify_all();
    keepAlive_.join();
    stopKeepAlive_ = false;
}

}  // namespace testbay
