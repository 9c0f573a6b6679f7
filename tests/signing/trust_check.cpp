// trust_check.exe FILE...
//   Checks each file's Authenticode signature with WinVerifyTrust
//   (WINTRUST_ACTION_GENERIC_VERIFY_V2, no UI, no revocation check) and
//   prints "0x%08lX FILE" per file: 0 for a valid signature.
// trust_check.exe --string ID FILE
//   Prints string ID of FILE's string table in UTF-8, in the language the
//   loader picks for this system, as the program's own message box would.
// Exits 0 when every file could be checked, 2 on a usage error.
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::wstring Wide(const char* text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(length > 0 ? length - 1 : 0);
    return wide;
}

LONG VerifyFile(const char* path) {
    std::wstring widePath = Wide(path);
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = widePath.c_str();

    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return status;
}

int PrintString(const char* idText, const char* path) {
    HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        std::printf("cannot load %s (error %lu)\n", path, GetLastError());
        return 1;
    }
    const wchar_t* text = nullptr;
    int length = LoadStringW(module, static_cast<UINT>(std::atoi(idText)), reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0) {
        std::printf("no string %s in %s\n", idText, path);
        return 1;
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], size, nullptr, nullptr);
    std::printf("%s\n", utf8.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--string") == 0) {
        return PrintString(argv[2], argv[3]);
    }
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: trust_check FILE... | trust_check --string ID FILE\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        std::printf("0x%08lX %s\n", static_cast<unsigned long>(VerifyFile(argv[i])), argv[i]);
    }
    return 0;
}
