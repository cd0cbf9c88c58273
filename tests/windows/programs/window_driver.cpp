// window_driver.exe: drives another program's windows as a user would, with
// ordinary window messages, for the window tests under Wine. A window is found
// by its exact title, a control by its id among the window's descendants.
// Messages that could start a modal loop are posted, so the driver never
// blocks on the program it drives. Prints the result; exit status 1 with the
// reason on standard error when something is not as asked.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr DWORD kFindTimeoutMs = 10000;
constexpr DWORD kPollMs = 50;
constexpr UINT kMessageTimeoutMs = 5000;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring TitleOf(HWND window) {
    wchar_t title[512] = {};
    GetWindowTextW(window, title, static_cast<int>(std::size(title)));
    return title;
}

std::vector<HWND> VisibleTopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM found) {
            if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND FindTopLevel(const std::wstring& title) {
    for (HWND window : VisibleTopLevelWindows()) {
        if (TitleOf(window) == title) return window;
    }
    return nullptr;
}

HWND WaitForWindow(const std::wstring& title) {
    const DWORD started = GetTickCount();
    for (;;) {
        if (HWND window = FindTopLevel(title)) return window;
        if (GetTickCount() - started > kFindTimeoutMs) throw Failure("no window \"" + Utf8(title) + "\"");
        Sleep(kPollMs);
    }
}

// The visible control of that id, else any; descendants at every depth.
HWND FindControl(HWND top, int id) {
    struct Search {
        int id;
        HWND visible = nullptr;
        HWND any = nullptr;
    } search{id};
    EnumChildWindows(
        top,
        [](HWND window, LPARAM state) {
            auto* search = reinterpret_cast<Search*>(state);
            if (GetDlgCtrlID(window) != search->id) return TRUE;
            if (!search->any) search->any = window;
            if (!search->visible && IsWindowVisible(window)) search->visible = window;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.visible) return search.visible;
    if (search.any) return search.any;
    throw Failure("no control " + std::to_string(id) + " in \"" + Utf8(TitleOf(top)) + "\"");
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result)) {
        throw Failure("no answer to message " + std::to_string(message));
    }
    return static_cast<LRESULT>(result);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

// Memory in the driven program, for the common controls' messages that carry
// pointers (the system copies only the standard controls' texts across).
class RemoteMemory {
public:
    RemoteMemory(HWND window, size_t size) : size_(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (!process_) throw Failure("cannot open the program's process");
        address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
        if (!address_) {
            CloseHandle(process_);
            throw Failure("cannot reserve memory in the program");
        }
    }
    ~RemoteMemory() {
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        CloseHandle(process_);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    char* At(size_t offset) const { return static_cast<char*>(address_) + offset; }
    void Write(size_t offset, const void* data, size_t size) const {
        if (offset + size > size_ || !WriteProcessMemory(process_, At(offset), data, size, nullptr)) {
            throw Failure("cannot write the program's memory");
        }
    }
    void Read(size_t offset, void* data, size_t size) const {
        if (offset + size > size_ || !ReadProcessMemory(process_, At(offset), data, size, nullptr)) {
            throw Failure("cannot read the program's memory");
        }
    }
    std::wstring ReadText(size_t offset, size_t characters) const {
        std::wstring text(characters, L'\0');
        Read(offset, text.data(), characters * sizeof(wchar_t));
        text.resize(wcsnlen(text.c_str(), characters));
        return text;
    }

private:
    size_t size_;
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

constexpr size_t kTextCharacters = 512;
constexpr size_t kTextOffset = 1024;
constexpr size_t kRemoteSize = kTextOffset + kTextCharacters * sizeof(wchar_t);

std::wstring WindowText(HWND window) {
    const auto length = static_cast<size_t>(Send(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    const auto copied =
        static_cast<size_t>(Send(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
    text.resize(copied);
    return text;
}

std::vector<std::wstring> StringItems(HWND control, UINT count, UINT lengthOf, UINT textOf) {
    std::vector<std::wstring> items;
    const auto entries = Send(control, count, 0, 0);
    for (LRESULT entry = 0; entry < entries; ++entry) {
        const auto length = static_cast<size_t>(Send(control, lengthOf, entry, 0));
        std::wstring text(length + 1, L'\0');
        Send(control, textOf, entry, reinterpret_cast<LPARAM>(text.data()));
        text.resize(length);
        items.push_back(text);
    }
    return items;
}

std::vector<std::wstring> TabItems(HWND tabs) {
    std::vector<std::wstring> items;
    RemoteMemory remote(tabs, kRemoteSize);
    const auto count = Send(tabs, TCM_GETITEMCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = reinterpret_cast<wchar_t*>(remote.At(kTextOffset));
        item.cchTextMax = kTextCharacters;
        remote.Write(0, &item, sizeof item);
        Send(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(remote.At(0)));
        items.push_back(remote.ReadText(kTextOffset, kTextCharacters));
    }
    return items;
}

std::vector<std::wstring> ListViewItems(HWND list) {
    std::vector<std::wstring> items;
    const auto header = reinterpret_cast<HWND>(Send(list, LVM_GETHEADER, 0, 0));
    const auto columns = header ? Send(header, HDM_GETITEMCOUNT, 0, 0) : 1;
    RemoteMemory remote(list, kRemoteSize);
    const auto count = Send(list, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT row = 0; row < count; ++row) {
        std::wstring line;
        for (LRESULT column = 0; column < columns; ++column) {
            LVITEMW item = {};
            item.iSubItem = static_cast<int>(column);
            item.pszText = reinterpret_cast<wchar_t*>(remote.At(kTextOffset));
            item.cchTextMax = kTextCharacters;
            remote.Write(0, &item, sizeof item);
            Send(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote.At(0)));
            if (column > 0) line += L'\t';
            line += remote.ReadText(kTextOffset, kTextCharacters);
        }
        items.push_back(line);
    }
    return items;
}

std::vector<std::wstring> Items(HWND control) {
    const std::wstring kind = ClassOf(control);
    if (_wcsicmp(kind.c_str(), L"ComboBox") == 0) {
        return StringItems(control, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
    }
    if (_wcsicmp(kind.c_str(), L"ListBox") == 0) return StringItems(control, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
    if (kind == WC_TABCONTROLW) return TabItems(control);
    if (kind == WC_LISTVIEWW) return ListViewItems(control);
    throw Failure("no entries in a control of class " + Utf8(kind));
}

RECT RemoteRect(HWND control, UINT message, WPARAM index) {
    RemoteMemory remote(control, sizeof(RECT));
    RECT rect = {};
    if (!Send(control, message, index, reinterpret_cast<LPARAM>(remote.At(0)))) {
        throw Failure("no item " + std::to_string(index));
    }
    remote.Read(0, &rect, sizeof rect);
    return rect;
}

void SelectTab(HWND tabs, int index) {
    const RECT rect = RemoteRect(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index));
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(tabs, WM_LBUTTONUP, 0, point);
}

// The colour of the image a static shows at its top left, as it is on the screen.
std::string LampColour(HWND lamp) {
    RECT rect = {};
    GetWindowRect(lamp, &rect);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, rect.left + 18, rect.top + 7);
    ReleaseDC(nullptr, screen);
    const int red = GetRValue(colour), green = GetGValue(colour), blue = GetBValue(colour);
    if (red > 150 && green > 150 && blue < 120) return "yellow";
    if (green > red && green > blue) return "green";
    if (red > green && red > blue) return "red";
    char unknown[32];
    std::snprintf(unknown, sizeof unknown, "unknown #%02x%02x%02x", red, green, blue);
    return unknown;
}

std::vector<std::wstring> ToolBarButtons(HWND top) {
    HWND toolbar = FindWindowExW(top, nullptr, TOOLBARCLASSNAMEW, nullptr);
    if (!toolbar) throw Failure("no toolbar");
    const auto tips = reinterpret_cast<HWND>(Send(toolbar, TB_GETTOOLTIPS, 0, 0));
    RemoteMemory remote(toolbar, kRemoteSize);
    std::vector<std::wstring> lines;
    const auto count = Send(toolbar, TB_BUTTONCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        TBBUTTON button = {};
        Send(toolbar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(remote.At(0)));
        remote.Read(0, &button, sizeof button);
        if (button.fsStyle & BTNS_SEP) continue;
        const RECT rect = RemoteRect(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(index));
        std::wstring tip;
        if (tips) {
            TTTOOLINFOW tool = {};
            tool.cbSize = sizeof tool;
            tool.hwnd = toolbar;
            tool.uId = static_cast<UINT_PTR>(button.idCommand);
            tool.lpszText = reinterpret_cast<wchar_t*>(remote.At(kTextOffset));
            remote.Write(0, &tool, sizeof tool);
            Send(tips, TTM_GETTEXTW, kTextCharacters, reinterpret_cast<LPARAM>(remote.At(0)));
            tip = remote.ReadText(kTextOffset, kTextCharacters);
        }
        lines.push_back(std::to_wstring(button.idCommand) + L" " + std::to_wstring(rect.right - rect.left) + L" " +
                        std::to_wstring(rect.bottom - rect.top) + L" " + tip);
    }
    return lines;
}

void WriteBitmap(const std::wstring& path, HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = out != INVALID_HANDLE_VALUE && WriteFile(out, &file, sizeof file, &written, nullptr) &&
                    WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
                    WriteFile(out, bits, imageSize, &written, nullptr);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!ok) throw Failure("cannot write " + Utf8(path));
}

void Print(const std::wstring& text) { std::printf("%s\n", Utf8(text).c_str()); }

std::vector<DWORD> ProcessesOf(const std::wstring& program) {
    std::vector<DWORD> found;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (CompareStringOrdinal(entry.szExeFile, -1, program.c_str(), -1, TRUE) == CSTR_EQUAL) {
            found.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return found;
}

// What the running processes of `program` show of themselves: "window PID
// TITLE" for each visible top-level window, "console PID" for a console they
// are attached to (with " window" when that console shows a window).
void PrintWhatProcessesShow(const std::wstring& program) {
    const std::vector<DWORD> processes = ProcessesOf(program);
    if (processes.empty()) throw Failure("no process " + Utf8(program));
    for (HWND window : VisibleTopLevelWindows()) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        for (const DWORD wanted : processes) {
            if (pid == wanted) Print(L"window " + std::to_wstring(pid) + L" " + TitleOf(window));
        }
    }
    // Attaching to a process's console succeeds only when it has one.
    FreeConsole();
    for (const DWORD pid : processes) {
        if (!AttachConsole(pid)) continue;
        const HWND window = GetConsoleWindow();
        const bool shown = window && IsWindowVisible(window);
        FreeConsole();
        Print(L"console " + std::to_wstring(pid) + (shown ? L" window" : L""));
    }
}

// What a shortcut (.lnk) starts: its target, then its arguments, each on a line.
void PrintShortcut(const std::wstring& path) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) throw Failure("no COM");
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    wchar_t target[MAX_PATH] = {};
    wchar_t arguments[INFOTIPSIZE] = {};
    bool read = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void**>(&link))) &&
                SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
                SUCCEEDED(file->Load(path.c_str(), STGM_READ)) &&
                SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
                SUCCEEDED(link->GetArguments(arguments, INFOTIPSIZE));
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();
    if (!read) throw Failure("cannot read the shortcut " + Utf8(path));
    Print(target);
    Print(arguments);
}

int Number(const std::wstring& text) {
    wchar_t* end = nullptr;
    const long value = std::wcstol(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0') throw Failure("not a number: " + Utf8(text));
    return static_cast<int>(value);
}

void PrintLines(const std::vector<std::wstring>& lines) {
    for (const std::wstring& line : lines) Print(line);
}

using Arguments = std::vector<std::wstring>;
struct Command {
    size_t arguments;
    std::function<void(const Arguments&)> run;
};

HWND Control(const Arguments& a) { return FindControl(WaitForWindow(a[0]), Number(a[1])); }

const std::map<std::wstring, Command>& Commands() {
    static const std::map<std::wstring, Command> commands = {
        {L"wait",
         {1,
          [](const Arguments& a) {
              RECT rect = {};
              GetWindowRect(WaitForWindow(a[0]), &rect);
              std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
          }}},
        {L"gone",
         {1,
          [](const Arguments& a) {
              const DWORD started = GetTickCount();
              while (FindTopLevel(a[0])) {
                  if (GetTickCount() - started > kFindTimeoutMs) throw Failure("\"" + Utf8(a[0]) + "\" stays");
                  Sleep(kPollMs);
              }
          }}},
        {L"process", {1, [](const Arguments& a) { PrintWhatProcessesShow(a[0]); }}},
        {L"shortcut", {1, [](const Arguments& a) { PrintShortcut(a[0]); }}},
        {L"windows",
         {0,
          [](const Arguments&) {
              for (HWND window : VisibleTopLevelWindows()) {
                  DWORD pid = 0;
                  GetWindowThreadProcessId(window, &pid);
                  std::printf("%lu\t%s\n", pid, Utf8(TitleOf(window)).c_str());
              }
          }}},
        {L"command",
         {2,
          [](const Arguments& a) { PostMessageW(WaitForWindow(a[0]), WM_COMMAND, MAKEWPARAM(Number(a[1]), 0), 0); }}},
        {L"press", {2, [](const Arguments& a) { PostMessageW(Control(a), BM_CLICK, 0, 0); }}},
        {L"text", {2, [](const Arguments& a) { Print(WindowText(Control(a))); }}},
        {L"settext",
         {3, [](const Arguments& a) { Send(Control(a), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a[2].c_str())); }}},
        {L"enabled", {2, [](const Arguments& a) { std::printf("%d\n", IsWindowEnabled(Control(a)) ? 1 : 0); }}},
        {L"checked",
         {2, [](const Arguments& a) { std::printf("%d\n", Send(Control(a), BM_GETCHECK, 0, 0) == BST_CHECKED); }}},
        {L"choose",
         {3,
          [](const Arguments& a) {
              HWND box = Control(a);
              const int index = Number(a[2]);
              if (Send(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0) != index) {
                  throw Failure("no entry " + std::to_string(index));
              }
              PostMessageW(GetParent(box), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), CBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(box));
          }}},
        {L"items", {2, [](const Arguments& a) { PrintLines(Items(Control(a))); }}},
        {L"dropwidth",
         {2,
          [](const Arguments& a) {
              HWND box = Control(a);
              RECT rect = {};
              GetWindowRect(box, &rect);
              std::printf("%ld %ld\n", static_cast<long>(Send(box, CB_GETDROPPEDWIDTH, 0, 0)), rect.right - rect.left);
          }}},
        {L"select-tab", {3, [](const Arguments& a) { SelectTab(Control(a), Number(a[2])); }}},
        {L"lamp", {2, [](const Arguments& a) { std::printf("%s\n", LampColour(Control(a)).c_str()); }}},
        {L"tooltips", {1, [](const Arguments& a) { PrintLines(ToolBarButtons(WaitForWindow(a[0]))); }}},
        {L"move",
         {5,
          [](const Arguments& a) {
              if (!SetWindowPos(WaitForWindow(a[0]), nullptr, Number(a[1]), Number(a[2]), Number(a[3]), Number(a[4]),
                                SWP_NOZORDER | SWP_NOACTIVATE)) {
                  throw Failure("cannot move the window");
              }
          }}},
        {L"close", {1, [](const Arguments& a) { PostMessageW(WaitForWindow(a[0]), WM_CLOSE, 0, 0); }}},
        {L"capture", {2, [](const Arguments& a) { WriteBitmap(a[1], WaitForWindow(a[0])); }}},
    };
    return commands;
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    const Arguments words(argv + 1, argv + count);
    LocalFree(argv);
    const auto command = words.empty() ? Commands().end() : Commands().find(words[0]);
    if (command == Commands().end() || words.size() - 1 != command->second.arguments) {
        std::fprintf(stderr, "usage: window_driver COMMAND ARGUMENTS (see the source for the commands)\n");
        return 2;
    }
    try {
        command->second.run(Arguments(words.begin() + 1, words.end()));
    } catch (const Failure& failure) {
        std::fprintf(stderr, "window_driver: %s\n", failure.what());
        return 1;
    }
    std::fflush(stdout);
    return 0;
}
