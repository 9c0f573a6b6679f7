#include "process_runner.h"

namespace {

struct BoxSearch {
    DWORD processId;
    const std::vector<HWND>* closed;
    HWND found;
};

// A message box is a visible dialog of class #32770 whose text control
// (id 0xFFFF) already holds its text.
BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    BoxSearch* search = reinterpret_cast<BoxSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    for (HWND closed : *search->closed) {
        if (closed == window) return TRUE;
    }
    char className[64] = {};
    GetClassNameA(window, className, sizeof(className));
    if (lstrcmpA(className, "#32770") != 0) return TRUE;
    WCHAR text[8] = {};
    if (GetDlgItemTextW(window, 0xFFFF, text, 8) == 0) return TRUE;
    search->found = window;
    return FALSE;
}

std::string Convert(const std::string& text, UINT from, UINT to) {
    if (text.empty()) return text;
    int wideLength = MultiByteToWideChar(from, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring wide(wideLength, L'\0');
    MultiByteToWideChar(from, 0, text.data(), (int)text.size(), &wide[0], wideLength);
    int length = WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string out(length, '\0');
    WideCharToMultiByte(to, 0, wide.data(), wideLength, &out[0], length, nullptr, nullptr);
    return out;
}

// Read as Unicode: the text comes back exactly as shown, whatever the ANSI
// code page of the prefix.
MessageBoxSeen ReadAndCloseBox(HWND box, const RunOptions& options, ULONGLONG deadline) {
    MessageBoxSeen seen;
    WCHAR buffer[1024] = {};
    GetWindowTextW(box, buffer, 1024);
    seen.caption = WideToUtf8(buffer);
    buffer[0] = L'\0';
    GetDlgItemTextW(box, 0xFFFF, buffer, 1024);
    seen.text = WideToUtf8(buffer);
    if (!options.boxShownMarker.empty()) {
        // Painted before anyone looks: the repaint is sent to the box's
        // thread and returns once it has drawn.
        RedrawWindow(box, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        HANDLE marker = CreateFileA(options.boxShownMarker.c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
    if (!options.closeBoxWhen.empty()) {
        while (GetFileAttributesA(options.closeBoxWhen.c_str()) == INVALID_FILE_ATTRIBUTES &&
               GetTickCount64() < deadline) {
            Sleep(20);
        }
    }
    HWND ok = GetDlgItem(box, IDOK);
    if (ok != nullptr) {
        SendMessageA(ok, BM_CLICK, 0, 0);
    } else {
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    return seen;
}

}  // namespace

ULONGLONG NowTicks() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::string AnsiToUtf8(const std::string& ansi) { return Convert(ansi, CP_ACP, CP_UTF8); }
std::string Utf8ToAnsi(const std::string& utf8) { return Convert(utf8, CP_UTF8, CP_ACP); }

std::string WideToUtf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), nullptr, 0,
                                     nullptr, nullptr);
    std::string out(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &out[0], length, nullptr,
                        nullptr);
    return out;
}

namespace {

// Waits for the started process, reading and closing each box it shows.
RunResult Watch(PROCESS_INFORMATION& process, const RunOptions& options) {
    RunResult result;
    result.started = true;
    CloseHandle(process.hThread);

    std::vector<HWND> closed;
    ULONGLONG deadline = GetTickCount64() + ScaledMs(options.timeoutMs);
    for (;;) {
        DWORD wait = WaitForSingleObject(process.hProcess, 20);
        if (wait == WAIT_OBJECT_0) {
            result.endedAt = NowTicks();
            break;
        }
        BoxSearch search = {process.dwProcessId, &closed, nullptr};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            result.boxes.push_back(ReadAndCloseBox(search.found, options, deadline));
            closed.push_back(search.found);
        }
        if (GetTickCount64() > deadline) {
            result.timedOut = true;
            TerminateProcess(process.hProcess, 0xDEAD);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hProcess);
    return result;
}

}  // namespace

DWORD ScaledMs(DWORD ms) {
    char text[16] = {};
    DWORD length = GetEnvironmentVariableA("TAVREL_TEST_TIME_SCALE", text, sizeof(text));
    DWORD scale = 0;
    for (DWORD i = 0; i < length && i < sizeof(text) && text[i] >= '0' && text[i] <= '9'; ++i) {
        scale = scale * 10 + static_cast<DWORD>(text[i] - '0');
    }
    return scale > 1 && scale <= 100 ? ms * scale : ms;
}

RunResult RunProcess(const std::string& program, const std::string& commandLine,
                     const RunOptions& options) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(program.empty() ? nullptr : program.c_str(), line.data(), nullptr,
                        nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        RunResult failed;
        failed.startError = GetLastError();
        return failed;
    }
    return Watch(process, options);
}

RunResult RunProcessWide(const std::wstring& program, const std::wstring& commandLine,
                         const RunOptions& options) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        RunResult failed;
        failed.startError = GetLastError();
        return failed;
    }
    return Watch(process, options);
}
