#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hwt/client_guard.h"
#include "hwt/hwt_client.h"

namespace testbay {

// A window rectangle in screen pixels, as "POSITION" stores it: four signed
// 32-bit numbers left, top, right, bottom.
struct WindowRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};
static_assert(sizeof(WindowRect) == 16);

struct FrameGeometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const FrameGeometry&) const = default;
};

constexpr int kDefaultBarHeight = 88;
// The title of the frame's message boxes.
constexpr const char* kProgramName = "Testbay";
constexpr const char* kUnableToConnectText = "Unable to connect to device";

// The top of a test window centred vertically on a screen of `screenHeight`.
int CentredWindowTop(int screenHeight, int windowHeight);

// A stored rectangle is used only when it lies on the screen and is at least
// 20 pixels in each direction.
bool IsUsableWindowRect(const WindowRect& rect, int screenWidth, int screenHeight);
// The stored "POSITION" when usable, else the bar across the top of the screen.
FrameGeometry InitialFrameGeometry(int screenWidth, int screenHeight);
// Writes "POSITION"; non-zero on success.
int StoreFramePosition(const WindowRect& rect);

// The one hardware-test connection that the test windows share: made by the
// first window that needs it, counted per use, and closed with a restart of
// the relay into its previous state when the last window goes. While a
// communication test runs on the client, opening a window is refused as busy,
// and the last window going leaves the client to the run (the next window or
// the frame's close lets it go).
class FrameConnection {
public:
    // What the frame shows the user after EnsureConnected.
    struct Outcome {
        int result = 0;
        bool beep = false;         // a new connection was tried and failed
        bool showMessage = false;  // "Unable to connect to device"
        bool busy = false;         // a communication test has the client
        std::string detail{};      // the message's second line
    };
    static constexpr const char* kBusyDetail = "A communication test is running.";
    // Opaque identity of a test window.
    using TestWindow = const void*;

    explicit FrameConnection(HwtClientGuard& guard = ProcessClientGuard()) : guard_(guard) {}
    ~FrameConnection();
    FrameConnection(const FrameConnection&) = delete;
    FrameConnection& operator=(const FrameConnection&) = delete;

    // 1 when the relay answers in the hardware test through the frame client.
    // Only a successful call counts as a use.
    Outcome EnsureConnected();
    // EnsureConnected as the frame tells the user: the message's second line
    // says why (the port's reason, what answered and what was tried, the
    // serial layer's text for a line that fails on the way, or kBusyDetail).
    Outcome EnsureConnectedForUser();
    void RegisterTestWindow(TestWindow window);
    // False when the window was never registered (nothing changes then).
    bool ReleaseTestWindow(TestWindow window);
    // The frame closes: the client goes whatever the use count, without a reset.
    void Close();
    // Close in the order that is safe for the test runs on the client: the run
    // is asked to stop, `handleWindowEvents` runs (the run's notices among
    // them) until no run holds the client, and only then the client goes.
    void CloseAfterTestRuns(const std::function<void()>& handleWindowEvents);

    CHwtV4Client* Client() const { return client_.get(); }
    int Channel() const { return channel_; }
    uint32_t UseCount() const { return useCount_; }
    uint32_t PreviousDeviceState() const { return previousDeviceState_; }
    const std::vector<TestWindow>& OpenTestWindows() const { return testWindows_; }

private:
    Outcome Connect();
    Outcome Recheck();
    void ResetToPreviousState();
    void Drop();

    HwtClientGuard& guard_;
    std::unique_ptr<CHwtV4Client> client_;
    int channel_ = -1;
    uint32_t previousDeviceState_ = kStateUnknown;
    uint32_t useCount_ = 0;
    std::vector<TestWindow> testWindows_;
};

}  // namespace testbay
