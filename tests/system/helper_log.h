// The log lines the helper programs (recorder, dde_server) append to the
// file a test names: each line opened, written and closed on its own, so a
// test reads every line written so far. Texts that may hold any byte are
// written in hex; the fixture's FromHex reads them back.
#ifndef TAVREL_TESTS_HELPER_LOG_H
#define TAVREL_TESTS_HELPER_LOG_H

#include <windows.h>

#include <string>

inline std::string ToHex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

inline void AppendToLog(const std::wstring& path, const std::string& lines) {
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    CloseHandle(file);
}

#endif
