// Stands in for an installer. Appends to the file named by TAVREL_RECORDER_LOG
// the command line it received and its own path (in hex: they may hold any
// byte) and when it started and ended, sleeps
// TAVREL_RECORDER_SLEEP_MS and exits with TAVREL_RECORDER_EXIT_CODE.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "helper_log.h"

namespace {

std::string Environment(const char* name) {
    char value[1024] = {};
    DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) ? std::string(value, length) : std::string();
}

unsigned long long NowTicks() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::wstring LogPath() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(L"TAVREL_RECORDER_LOG", path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

}  // namespace

int main() {
    std::wstring log = LogPath();
    unsigned long long started = NowTicks();
    if (!log.empty()) {
        char module[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, module, sizeof(module));
        AppendToLog(log, "command-line=" + ToHex(GetCommandLineA()) + "\n" +
                             "module=" + ToHex(module) + "\n" +
                             "started=" + std::to_string(started) + "\n");
    }
    Sleep(static_cast<DWORD>(std::strtoul(Environment("TAVREL_RECORDER_SLEEP_MS").c_str(), nullptr, 10)));
    DWORD exitCode = static_cast<DWORD>(std::strtoul(Environment("TAVREL_RECORDER_EXIT_CODE").c_str(), nullptr, 10));
    if (!log.empty()) AppendToLog(log, "ended=" + std::to_string(NowTicks()) + "\n");
    return static_cast<int>(exitCode);
}
