#include "platform/serial_device.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>

#include "platform/clock.h"
#include "platform/input_wait_win.h"
#include "platform/stop_request.h"
#include "platform/text_win.h"

namespace testbay {
namespace {

constexpr DWORD kInputQueueBytes = 1024;
constexpr DWORD kOutputQueueBytes = 2048;
// The driver's own bound of a write: 5 ms per byte and 100 ms on top.
constexpr DWORD kWriteMsPerByte = 5;
constexpr DWORD kWriteExtraMs = 100;
constexpr DWORD kPurgeAll = PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR;

HANDLE Port(void* handle) { return static_cast<HANDLE>(handle); }

// Real time for the wait deadlines, like poll() on Linux: not ProcessClock(),
// which tests replace with a virtual clock.
int64_t MonotonicMs() { return static_cast<int64_t>(GetTickCount64()); }

// Our parity codes are the system's (NOPARITY 0 ... SPACEPARITY 4); stop bits
// likewise (ONESTOPBIT 0, TWOSTOPBITS 2).
void PutSettings(DCB& dcb, const LineSettings& settings) {
    dcb.BaudRate = settings.baud;
    dcb.Parity = static_cast<BYTE>(settings.parity);
    dcb.StopBits = static_cast<BYTE>(settings.stopBits);
}

// Binary 8-bit line without flow control or character replacement; DTR and
// RTS raised.
void PutRawMode(DCB& dcb) {
    dcb.DCBlength = sizeof(DCB);
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = 0;
    dcb.XoffLim = 0;
    dcb.ByteSize = 8;
    dcb.XonChar = 0;
    dcb.XoffChar = static_cast<char>(0xFF);
    dcb.ErrorChar = static_cast<char>(0xFF);
    dcb.EofChar = static_cast<char>(0xFF);
    dcb.EvtChar = static_cast<char>(0xFF);
}

// Sets the control block and reads it back: a driver that takes a rate but
// runs another one counts as refusing it.
bool SetState(HANDLE port, DCB& dcb, const LineSettings& settings) {
    PutSettings(dcb, settings);
    if (!SetCommState(port, &dcb)) return false;
    DCB applied{};
    applied.DCBlength = sizeof(DCB);
    return GetCommState(port, &applied) && applied.BaudRate == settings.baud && applied.Parity == settings.parity &&
           applied.StopBits == settings.stopBits && applied.ByteSize == 8;
}

int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return EBUSY;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_INVALID_PARAMETER: return EINVAL;
    default: return EIO;
    }
}

// Bytes in the driver's input queue, or -1 when the port has failed (a
// removed adapter answers every call with an error).
long InputQueued(HANDLE port) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status)) return -1;
    return static_cast<long>(status.cbInQue);
}

// Prefixes that name a DOS device rather than a file.
constexpr const wchar_t* kDevicePrefixes[] = {L"\\\\.\\", L"\\\\?\\", L"\\??\\"};
// Links from one DOS name to another are followed this deep.
constexpr int kDosLinkDepth = 8;

std::wstring WithoutDevicePrefix(const std::wstring& name) {
    for (const wchar_t* prefix : kDevicePrefixes) {
        const std::wstring head = prefix;
        if (name.compare(0, head.size(), head) == 0) return name.substr(head.size());
    }
    return name;
}

std::wstring UpperCase(std::wstring text) {
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The device a port name stands for, in upper case: "COM5", "\\.\com5" and
// any DOS name linked to the same device give one answer. A name the system
// does not know stands for itself.
std::wstring PortDevice(const std::string& path) {
    std::wstring name = UpperCase(WithoutDevicePrefix(WideText(path)));
    for (int depth = 0; depth < kDosLinkDepth && name.find(L'\\') == std::wstring::npos; ++depth) {
        // The first entry of the answer is the name's current definition.
        wchar_t target[MAX_PATH + 1] = {};
        if (QueryDosDeviceW(name.c_str(), target, MAX_PATH) == 0) break;
        const std::wstring linked = UpperCase(target);
        const std::wstring dosName = WithoutDevicePrefix(linked);
        name = dosName.find(L'\\') == std::wstring::npos ? dosName : linked;
    }
    return name;
}

// The system's own drivers open a port for one program only; Wine does not
// enforce that. A named object per device, alive while a handle to it is
// open, keeps a second instance of this program away either way, whichever
// name of the port it was given.
HANDLE ClaimPort(const std::string& path) {
    std::wstring device = PortDevice(path);
    for (wchar_t& c : device) {
        if (c == L'\\') c = L'_';  // object names take no further '\'
    }
    HANDLE claim = CreateEventW(nullptr, TRUE, FALSE, (L"Local\\Testbay.Port." + device).c_str());
    if (claim && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(claim);
        return nullptr;
    }
    return claim;
}

// Ends an overlapped call that is still running and waits until it has.
void Abandon(HANDLE port, OVERLAPPED& call) {
    CancelIoEx(port, &call);
    DWORD ignored = 0;
    GetOverlappedResult(port, &call, &ignored, TRUE);
}

// The wait for EV_RXCHAR on an open port, with the deadline in real time.
class CommEventWait final : public InputWaitPort {
public:
    CommEventWait(HANDLE port, HANDLE event, unsigned long& events) : port_(port), event_(event), events_(events) {}

    long Queued() override { return InputQueued(port_); }

    EventWait WaitForEvent(uint32_t milliseconds) override {
        OVERLAPPED call{};
        call.hEvent = event_;
        ResetEvent(event_);
        if (WaitCommEvent(port_, &events_, &call)) return EventWait::Ended;
        if (GetLastError() != ERROR_IO_PENDING) return EventWait::Refused;
        // A byte that came before the wait began raises no event.
        if (InputQueued(port_) != 0 || !WaitForEventOrStopRequest(event_, milliseconds)) {
            Abandon(port_, call);
            return EventWait::Ended;
        }
        // Any other error is no verdict on the port: the queue check that follows tells.
        DWORD ignored = 0;
        if (!GetOverlappedResult(port_, &call, &ignored, FALSE) && GetLastError() == ERROR_OPERATION_ABORTED) {
            return EventWait::EndedWithoutEvent;
        }
        return EventWait::Ended;
    }

    int64_t NowMs() override { return MonotonicMs(); }

private:
    HANDLE port_;
    HANDLE event_;
    unsigned long& events_;
};

}  // namespace

SerialDevice::Wait WaitForInput(InputWaitPort& port, int timeoutMs) {
    constexpr int64_t kQueueCheckMs = 1;
    const int64_t deadline = port.NowMs() + (timeoutMs > 0 ? timeoutMs : 0);
    bool eventWaitWorks = true;
    for (;;) {
        EndCallOnStopRequest();
        const long queued = port.Queued();
        if (queued < 0) return SerialDevice::Wait::Failed;
        if (queued > 0) return SerialDevice::Wait::Readable;
        const int64_t remaining = deadline - port.NowMs();
        if (remaining <= 0) return SerialDevice::Wait::TimedOut;
        if (!eventWaitWorks) {
            ProcessClock().SleepMs(kQueueCheckMs);
            continue;
        }
        const uint32_t bound = remaining >= INFINITE ? INFINITE - 1 : static_cast<uint32_t>(remaining);
        const InputWaitPort::EventWait end = port.WaitForEvent(bound);
        if (end == InputWaitPort::EventWait::Refused) return SerialDevice::Wait::Failed;
        eventWaitWorks = end == InputWaitPort::EventWait::Ended;
    }
}

SerialDevice::~SerialDevice() { Close(); }

int SerialDevice::Refuse(unsigned long systemError, std::vector<DeviceHolder> holders) {
    const DWORD error = static_cast<DWORD>(systemError);
    openFailure_ = SerialOpenFailure{ErrnoOf(error), SystemMessage(error), std::move(holders), {}};
    // The system's ports open for one program at a time.
    if (error == ERROR_ACCESS_DENIED) openFailure_.hint = "another program may have the port open";
    return openFailure_.error;
}

int SerialDevice::Open(const std::string& path, const LineSettings& settings) {
    Close();
    if (IsNetworkPortPath(path)) {
        const int error = network_.Open(path, settings, connectTimeoutMs_);
        if (error != 0) openFailure_ = network_.OpenFailure();
        return error;
    }
    if (!Acceptable(settings)) return Refuse(ERROR_INVALID_PARAMETER);

    HANDLE claim = ClaimPort(path);
    // The claim tells that another instance of this program has the port, not which one.
    if (!claim) return Refuse(ERROR_BUSY, {DeviceHolder{0, "testbay", {}, false}});
    // No sharing: a second program gets ERROR_ACCESS_DENIED. Overlapped, so
    // that waits for input block on an event instead of polling.
    HANDLE port = CreateFileW(WideText(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        CloseHandle(claim);
        return Refuse(error);
    }
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto fail = [&](DWORD error) {
        EscapeCommFunction(port, CLRDTR);
        if (event) CloseHandle(event);
        CloseHandle(port);
        CloseHandle(claim);
        return Refuse(error);
    };
    if (!event) return fail(GetLastError());

    SetCommMask(port, EV_RXCHAR);
    PurgeComm(port, kPurgeAll);
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    GetCommState(port, &dcb);
    PutRawMode(dcb);
    if (!SetState(port, dcb, settings)) return fail(ERROR_INVALID_PARAMETER);
    if (!SetupComm(port, kInputQueueBytes, kOutputQueueBytes)) return fail(GetLastError());
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(port, &timeouts)) return fail(GetLastError());
    // Reads return at once with what is queued; writes end within their bound.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = kWriteMsPerByte;
    timeouts.WriteTotalTimeoutConstant = kWriteExtraMs;
    if (!SetCommTimeouts(port, &timeouts)) return fail(GetLastError());
    PurgeComm(port, kPurgeAll);

    handle_ = port;
    event_ = event;
    claim_ = claim;
    return 0;
}

bool SerialDevice::Apply(const LineSettings& settings) {
    if (network_.IsOpen()) return network_.Apply(settings);
    if (!IsOpen() || !Acceptable(settings)) return false;
    DCB previous{};
    previous.DCBlength = sizeof(DCB);
    if (!GetCommState(Port(handle_), &previous)) return false;
    DCB wanted = previous;
    if (SetState(Port(handle_), wanted, settings)) return true;
    SetCommState(Port(handle_), &previous);
    return false;
}

bool SerialDevice::Write(const uint8_t* bytes, size_t length, int timeoutMs) {
    if (network_.IsOpen()) return network_.Write(bytes, length, timeoutMs);
    if (!IsOpen()) return false;
    if (length == 0) return true;
    if (length > MAXDWORD) return false;
    OVERLAPPED call{};
    call.hEvent = event_;
    ResetEvent(event_);
    DWORD written = 0;
    if (!WriteFile(Port(handle_), bytes, static_cast<DWORD>(length), &written, &call)) {
        if (GetLastError() != ERROR_IO_PENDING) return false;
        // The driver ends the write within its own time-outs; this wait is
        // the bound for a driver that does not.
        if (WaitForSingleObject(event_, timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0) != WAIT_OBJECT_0) {
            Abandon(Port(handle_), call);
            return false;
        }
        if (!GetOverlappedResult(Port(handle_), &call, &written, FALSE)) return false;
    }
    return written == length;
}

size_t SerialDevice::QueuedInput() const {
    if (network_.IsOpen()) return network_.QueuedInput();
    if (!IsOpen()) return 0;
    const long queued = InputQueued(Port(handle_));
    return queued > 0 ? static_cast<size_t>(queued) : 0;
}

long SerialDevice::Read(uint8_t* buffer, size_t maximum) {
    if (network_.IsOpen()) return network_.Read(buffer, maximum);
    if (!IsOpen()) return -1;
    const long queued = InputQueued(Port(handle_));
    if (queued < 0) return -1;
    if (queued == 0 || maximum == 0) return 0;
    const DWORD wanted = static_cast<DWORD>(static_cast<size_t>(queued) < maximum ? queued : maximum);
    OVERLAPPED call{};
    call.hEvent = event_;
    ResetEvent(event_);
    DWORD count = 0;
    if (!ReadFile(Port(handle_), buffer, wanted, &count, &call)) {
        if (GetLastError() != ERROR_IO_PENDING) return -1;
        // The bytes are queued and the interval time-out is MAXDWORD: this ends at once.
        if (!GetOverlappedResult(Port(handle_), &call, &count, TRUE)) return -1;
    }
    return static_cast<long>(count);
}

SerialDevice::Wait SerialDevice::WaitReadable(int timeoutMs) const {
    if (network_.IsOpen()) return network_.WaitReadable(timeoutMs);
    if (!IsOpen()) return Wait::Failed;
    CommEventWait port(Port(handle_), event_, waitEvents_);
    return WaitForInput(port, timeoutMs);
}

void SerialDevice::Flush() {
    if (network_.IsOpen()) {
        network_.Flush();
        return;
    }
    if (!IsOpen()) return;
    PurgeComm(Port(handle_), kPurgeAll);
}

void SerialDevice::Close() {
    network_.Close();
    if (!handle_) return;
    DWORD errors = 0;
    ClearCommError(Port(handle_), &errors, nullptr);
    EscapeCommFunction(Port(handle_), CLRDTR);
    CloseHandle(Port(handle_));
    CloseHandle(event_);
    CloseHandle(claim_);
    handle_ = nullptr;
    event_ = nullptr;
    claim_ = nullptr;
}

}  // namespace testbay
