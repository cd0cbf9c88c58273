// Automation through COM beside automation through JSON-RPC, in one run of
// the Windows build: the time of one activation of "Testbay.Document", and of
// GetLedCount calls through IDispatch and through "testbay.exe -JsonRpc",
// both against the relay on COM<port>.
// Usage: com_bench_win.exe <testbay.exe> <port> [calls] [activations]
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "com_client/document_client.h"

using Microsoft::WRL::ComPtr;
using testbay::com_client::CallByName;
using testbay::com_client::CreateDocument;

namespace {

double WallSeconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// True when the method returned true.
bool Call(IDispatch& object, const wchar_t* name, std::vector<VARIANT> reversed) {
    VARIANT result;
    const HRESULT status = CallByName(object, name, reversed.data(), static_cast<UINT>(reversed.size()), result);
    const bool passed = SUCCEEDED(status) && V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_TRUE;
    VariantClear(&result);
    return passed;
}

VARIANT Long(LONG value) {
    VARIANT variant;
    VariantInit(&variant);
    V_VT(&variant) = VT_I4;
    V_I4(&variant) = value;
    return variant;
}

// False when the object or the relay could not be reached, or a call failed.
bool ComFigures(int port, int calls, int activations) {
    std::vector<double> seconds;
    for (int round = 0; round < activations; ++round) {
        ComPtr<IDispatch> object;
        const double start = WallSeconds();
        const HRESULT status = CreateDocument(&object);
        seconds.push_back(WallSeconds() - start);
        if (FAILED(status)) {
            std::printf("COM: activation failed: 0x%08lx\n", static_cast<unsigned long>(status));
            return false;
        }
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("COM: activation %.3f s (median of %d; fastest %.3f s, slowest %.3f s)\n", seconds[seconds.size() / 2],
                activations, seconds.front(), seconds.back());

    ComPtr<IDispatch> object;
    if (FAILED(CreateDocument(&object))) return false;
    BSTR empty = SysAllocString(L"");
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = empty;
    const bool entered = Call(*object.Get(), L"EnterHardwaretestAtPort", {Long(port), text});
    SysFreeString(empty);
    if (!entered) {
        std::printf("COM: no relay on COM%d\n", port);
        return false;
    }
    int failures = 0;
    LONG count = 0;
    const double start = WallSeconds();
    for (int call = 0; call < calls; ++call) {
        VARIANT byReference;
        VariantInit(&byReference);
        V_VT(&byReference) = VT_BYREF | VT_I4;
        V_I4REF(&byReference) = &count;
        failures += Call(*object.Get(), L"GetLedCount", {byReference}) ? 0 : 1;
    }
    const double wall = WallSeconds() - start;
    std::printf("COM: %d GetLedCount calls (%d failed) in %.3f s: %.0f calls/s, %.0f us per call\n", calls, failures,
                wall, calls / wall, wall / calls * 1e6);
    Call(*object.Get(), L"ExitHardwaretest", {});
    return failures == 0;
}

// "testbay.exe -JsonRpc" on pipes: one request line out, one answer line in.
class JsonRpcServer {
public:
    explicit JsonRpcServer(const std::string& program) {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE childInput = nullptr, childOutput = nullptr;
        CreatePipe(&childInput, &toServer_, &inherit, 0);
        CreatePipe(&fromServer_, &childOutput, &inherit, 0);
        SetHandleInformation(toServer_, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(fromServer_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput;
        startup.hStdOutput = childOutput;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::string command = "\"" + program + "\" -JsonRpc";
        started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                  &process_) != 0;
        CloseHandle(childInput);
        CloseHandle(childOutput);
    }
    ~JsonRpcServer() {
        CloseHandle(toServer_);
        if (started_) {
            WaitForSingleObject(process_.hProcess, 10000);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        CloseHandle(fromServer_);
    }
    JsonRpcServer(const JsonRpcServer&) = delete;
    JsonRpcServer& operator=(const JsonRpcServer&) = delete;

    // The answer line, empty when the server is gone.
    std::string Call(const std::string& method, const std::string& params) {
        const std::string request = "{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(++id_) + ",\"method\":\"" + method +
                                    "\",\"params\":" + params + "}\n";
        DWORD written = 0;
        if (!WriteFile(toServer_, request.data(), static_cast<DWORD>(request.size()), &written, nullptr)) return {};
        std::string line;
        for (;;) {
            const size_t end = buffered_.find('\n');
            if (end != std::string::npos) {
                line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return line;
            }
            char chunk[4096];
            DWORD read = 0;
            if (!ReadFile(fromServer_, chunk, sizeof(chunk), &read, nullptr) || read == 0) return {};
            buffered_.append(chunk, read);
        }
    }

private:
    HANDLE toServer_ = nullptr, fromServer_ = nullptr;
    PROCESS_INFORMATION process_{};
    bool started_ = false;
    int id_ = 0;
    std::string buffered_;
};

bool Passed(const std::string& answer) { return answer.find("\"return\":true") != std::string::npos; }

bool JsonRpcFigures(const std::string& program, int port, int calls) {
    const double startUp = WallSeconds();
    JsonRpcServer server(program);
    server.Call("GetTestbayVersion", "[]");
    std::printf("JSON-RPC: start to first answer %.3f s\n", WallSeconds() - startUp);
    if (!Passed(server.Call("EnterHardwaretestAtPort", "[\"\"," + std::to_string(port) + "]"))) {
        std::printf("JSON-RPC: no relay on COM%d\n", port);
        return false;
    }
    int failures = 0;
    const double start = WallSeconds();
    for (int call = 0; call < calls; ++call) failures += Passed(server.Call("GetLedCount", "[0]")) ? 0 : 1;
    const double wall = WallSeconds() - start;
    std::printf("JSON-RPC: %d GetLedCount calls (%d failed) in %.3f s: %.0f calls/s, %.0f us per call\n", calls,
                failures, wall, calls / wall, wall / calls * 1e6);
    server.Call("ExitHardwaretest", "[]");
    return failures == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: com_bench_win.exe <testbay.exe> <port> [calls] [activations]\n");
        return 2;
    }
    const std::string program = argv[1];
    const int port = std::atoi(argv[2]);
    const int calls = argc > 3 ? std::atoi(argv[3]) : 1000;
    const int activations = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool com = ComFigures(port, calls, activations);
    CoUninitialize();
    const bool jsonRpc = JsonRpcFigures(program, port, calls);
    return com && jsonRpc ? 0 : 1;
}
