#include "app/frame_connection.h"

#include <algorithm>

#include "settings/settings.h"
#include "settings/settings_index.h"
#include "comm/channel.h"
#include "comm/line_failure.h"
#include "device/enter_hardwaretest.h"

namespace testbay {
namespace {

constexpr int32_t kSmallestSide = 20;
constexpr int32_t kCheckLed = 1;

}  // namespace

bool IsUsableWindowRect(const WindowRect& rect, int screenWidth, int screenHeight) {
    // 64-bit sides: a corrupt rectangle must not overflow the subtraction.
    const int64_t width = int64_t{rect.right} - rect.left;
    const int64_t height = int64_t{rect.bottom} - rect.top;
    return rect.left >= 0 && rect.left <= screenWidth && width <= screenWidth && width >= kSmallestSide &&
           rect.top >= 0 && rect.top <= screenHeight && height <= screenHeight && height >= kSmallestSide;
}

FrameGeometry InitialFrameGeometry(int screenWidth, int screenHeight) {
    WindowRect stored;
    if (ReadIniStruct(settings::kWindowSection, settings::kWindowPositionKey, &stored, sizeof(stored),
                      settings::kProgramFile) != 0 &&
        IsUsableWindowRect(stored, screenWidth, screenHeight)) {
        return {stored.left, stored.top, stored.right - stored.left, stored.bottom - stored.top};
    }
    return {0, 0, screenWidth, kDefaultBarHeight};
}

int StoreFramePosition(const WindowRect& rect) {
    return WriteIniStruct(settings::kWindowSection, settings::kWindowPositionKey, &rect, sizeof(rect),
                          settings::kProgramFile);
}

int CentredWindowTop(int screenHeight, int windowHeight) { return (screenHeight - windowHeight) / 2; }

FrameConnection::~FrameConnection() { Drop(); }

FrameConnection::Outcome FrameConnection::EnsureConnected() {
    const ClientUse use(guard_);
    if (!use.Granted()) return {0, false, true, true};
    Outcome outcome = client_ ? Recheck() : Connect();
    if (outcome.result == 1) ++useCount_;
    outcome.showMessage = outcome.result != 1;
    return outcome;
}

FrameConnection::Outcome FrameConnection::EnsureConnectedForUser() {
    Outcome outcome;
    if (const auto failure = CatchLineFailure([this, &outcome] { outcome = EnsureConnected(); })) {
        return {0, false, true, false, *failure};
    }
    if (outcome.busy) outcome.detail = kBusyDetail;
    return outcome;
}

FrameConnection::Outcome FrameConnection::Connect() {
    const int comNumber = ReadIniInt(settings::kComPort.section, settings::kComPort.key,
                                     settings::kComPort.defaultValue, settings::kProgramFile);
    std::string failure;
    if (!ComOpen(comNumber, channel_, failure)) {
        channel_ = -1;
        return {.detail = failure};
    }
    client_ = std::make_unique<CHwtV4Client>(channel_);
    int result = 0;
    try {
        result = EnterHardwaretest(*client_, failure);
    } catch (const CComExeption&) {
        Drop();
        throw;
    }
    if (result != 1) {
        Drop();
        return {result, true, false, false, failure};
    }
    previousDeviceState_ = client_->KnownDeviceState();
    return {1};
}

// The relay may have been switched off and on since the last window opened.
FrameConnection::Outcome FrameConnection::Recheck() {
    int32_t on = 0;
    if (client_->GetLed(kCheckLed, on) == 1) return {1};
    Outcome outcome;
    outcome.result = EnterHardwaretest(*client_, outcome.detail);
    return outcome;
}

void FrameConnection::RegisterTestWindow(TestWindow window) { testWindows_.push_back(window); }

bool FrameConnection::ReleaseTestWindow(TestWindow window) {
    const auto found = std::find(testWindows_.begin(), testWindows_.end(), window);
    if (found == testWindows_.end()) return false;
    testWindows_.erase(found);
    if (useCount_ == 0) return true;
    const ClientUse use(guard_);
    if (--useCount_ == 0 && use.Granted()) {
        try {
            ResetToPreviousState();
        } catch (const CComExeption&) {
            Drop();
            throw;
        }
        Drop();
    }
    return true;
}

void FrameConnection::ResetToPreviousState() {
    if (client_) ReturnToFoundState(*client_, previousDeviceState_);
}

void FrameConnection::Close() {
    Drop();
    useCount_ = 0;
}

void FrameConnection::CloseAfterTestRuns(const std::function<void()>& handleWindowEvents) {
    guard_.StopRun();
    while (guard_.RunHeld()) handleWindowEvents();
    Close();
}

void FrameConnection::Drop() {
    client_.reset();
    ComClose(channel_);
    channel_ = -1;
}

}  // namespace testbay
