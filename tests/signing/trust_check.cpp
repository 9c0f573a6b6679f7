// trust_check.exe FILE...
//   Checks each file's Authenticode signature with WinVerifyTrust
//   (WINTRUST_ACTION_GENERIC_VERIFY_V2, no UI, no revocation check) and
//   prints "0x%08lX FILE" per file: 0 for a valid signature.
// trust_check.exe --string ID FILE
//   Prints string ID of FILE's string table in UTF-8, in the language the
//   loader picks for this system, as the program's own message box would.
// trust_check.exe --expect FOLDER
//   Checks the files signing_test.sh lays out in FOLDER, each against what
//   this system answers: a file signed through a throwaway CA that this
//   system does not trust, a byte changed in its code and in its
//   resources, and no signature. Prints a line per file, and exits 1 when
//   any answer differs.
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

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int CheckLayout(const std::string& folder) {
    // Windows checks the chain up to a root it trusts; Wine's WinVerifyTrust
    // does not, so there the throwaway CA's signature is simply valid.
    const LONG kSignedAnswer = UnderWine() ? 0 : static_cast<LONG>(CERT_E_UNTRUSTEDROOT);
    const struct {
        const char* file;
        LONG expected;
        const char* what;
    } kFiles[] = {
        {"signed.exe", kSignedAnswer, UnderWine() ? "signed (Wine checks no chain)" : "signed by an untrusted CA"},
        {"tampered.text.exe", static_cast<LONG>(TRUST_E_BAD_DIGEST), "a byte changed in .text"},
        {"tampered.rsrc.exe", static_cast<LONG>(TRUST_E_BAD_DIGEST), "a byte changed in .rsrc"},
        {"unsigned.exe", static_cast<LONG>(TRUST_E_NOSIGNATURE), "unsigned"},
    };
    int failures = 0;
    for (const auto& f : kFiles) {
        const std::string path = folder + "\\" + f.file;
        const LONG got = VerifyFile(path.c_str());
        const bool ok = got == f.expected;
        failures += ok ? 0 : 1;
        std::printf("%s: WinVerifyTrust %s (%s): expected 0x%08lX, got 0x%08lX\n", ok ? "ok" : "FAIL", f.file,
                    f.what, static_cast<unsigned long>(f.expected), static_cast<unsigned long>(got));
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--expect") == 0) {
        return CheckLayout(argv[2]);
    }
    if (argc == 4 && std::strcmp(argv[1], "--string") == 0) {
        return PrintString(argv[2], argv[3]);
    }
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: trust_check FILE... | trust_check --string ID FILE | trust_check --expect FOLDER\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        std::printf("0x%08lX %s\n", static_cast<unsigned long>(VerifyFile(argv[i])), argv[i]);
    }
    return 0;
}
