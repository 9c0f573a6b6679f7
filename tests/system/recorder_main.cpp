// Stands in for an installer. Appends to the file named by TAVREL_RECORDER_LOG
// the command line it received and its own path (in hex: they may hold any
// byte) and when it started and ended, sleeps
// TAVREL_RECORDER_SLEEP_MS and exits with TAVREL_RECORDER_EXIT_CODE.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

std::string ToHex(const char* text) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (; *text != '\0'; ++text) {
        unsigned char byte = static_cast<unsigned char>(*text);
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

void Append(const std::string& path, const std::string& line) {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int main() {
    std::string log = Environment("TAVREL_RECORDER_LOG");
    unsigned long long started = NowTicks();
    if (!log.empty()) {
        char module[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, module, sizeof(module));
        Append(log, "command-line=" + ToHex(GetCommandLineA()) + "\n" + "module=" + ToHex(module) + "\n" +
                        "started=" + std::to_string(started) + "\n");
    }
    Sleep(static_cast<DWORD>(std::strtoul(Environment("TAVREL_RECORDER_SLEEP_MS").c_str(), nullptr, 10)));
    DWORD exitCode = static_cast<DWORD>(std::strtoul(Environment("TAVREL_RECORDER_EXIT_CODE").c_str(), nullptr, 10));
    if (!log.empty()) Append(log, "ended=" + std::to_string(NowTicks()) + "\n");
    return static_cast<int>(exitCode);
}
