#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "app/frame_connection.h"

namespace testbay {

// The program's bar at the top of the screen: the serial connection dialog,
// the hardware-test sheets, and the connection the sheets share.
class CMainFrame {
public:
    // Creates the frame and shows it; Window() is null when that failed. Once
    // `stop` is set (by a stop signal), the frame closes.
    CMainFrame(const std::string& title, const std::atomic<bool>& stop);
    ~CMainFrame();
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    HWND Window() const { return window_; }

    // 1 when the relay answers in the hardware test; beeps and tells the user otherwise.
    int EnsureConnected();
    void RegisterTestWindow(HWND window);
    void ReleaseTestWindow(HWND window);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool CreateToolBar();
    void StorePosition();
    void OnCommand(int command);
    void OnHardwareTest();
    void TellUnableToConnect(const std::string& detail);
    void Close();

    const std::atomic<bool>& stop_;
    HWND window_ = nullptr;
    HWND toolBar_ = nullptr;
    bool closing_ = false;
    FrameConnection connection_;
};

}  // namespace testbay
