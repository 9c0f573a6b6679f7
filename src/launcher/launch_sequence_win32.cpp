#include <windows.h>

#include "execute_and_wait.h"
#include "launch_sequence.h"
#include "path_split.h"
#include "replace_token.h"
#include "text_buffer.h"
#include "../../res/resource_ids.h"

namespace {

const char kInfKey[] = ".inf";
const char kInstallCommandSuffix[] = "\\shell\\Install\\command";
const char kDefaultValue[] = "";
const char kExePathToken[] = "%EXEPATH%";
const char kFileToken[] = "%1";

}  // namespace

int GetModuleDirectory(char* dst, int capacity) {
    char path[MAX_PATH];
    FillZero(path, sizeof(path));
    if (GetModuleFileNameA(nullptr, path, sizeof(path)) == 0) return -1;
    path[sizeof(path) - 1] = '\0';  // a cut path may come back without its NUL

    LeadBytes lead;
    LoadAnsiLeadBytes(&lead);
    char drive[3];
    char directory[MAX_PATH];
    SplitPath(path, &lead, drive, sizeof(drive), directory, sizeof(directory),
              nullptr, 0, nullptr, 0);
    if (CopyText(dst, capacity, drive) != 0 || AppendText(dst, capacity, directory) != 0) {
        if (capacity > 0) dst[0] = '\0';
        return -1;
    }
    return 0;
}

int ReadRegistryString(char* dst, int capacity, HKEY root, const char* subKey,
                       const char* valueName) {
    HKEY key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return -2;

    char value[kRegistryValueCapacity];
    DWORD type = REG_NONE;
    DWORD size = sizeof(value);
    int result = -1;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) == ERROR_SUCCESS) {
        result = 0;
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            result = TakeRegistryText(dst, capacity, value, static_cast<int>(size));
        }
    }
    RegCloseKey(key);
    return result;
}

namespace {

// The texts that pass between the steps, owned by WinMain for the whole run.
struct LaunchBuffers {
    char argument[kArgumentCapacity];
    char keyPath[kKeyPathCapacity];
    char moduleDirectory[kModuleDirectoryCapacity];
    char expandedArgument[kExpandedArgumentCapacity];
    char unquotedArgument[kUnquotedArgumentCapacity];
    char commandTemplate[kCommandTemplateCapacity];
    char commandLine[kCommandLineCapacity];
};

// Runs the launch; returns 0 once the install command has run (or could not
// be started), else the message to show and, through *exitCode, the code.
UINT Launch(const char* cmdLine, LaunchBuffers* b, int* exitCode) {
    *exitCode = -2;
    int argumentLength = BoundedLength(cmdLine, kMaxArgumentLength + 1);
    if (argumentLength == 0) {
        *exitCode = -1;
        return IDS_SETUP_BROKEN;
    }
    if (argumentLength > kMaxArgumentLength) return IDS_SETUP_BROKEN;
    CopyText(b->argument, sizeof(b->argument), cmdLine);

    if (GetModuleDirectory(b->moduleDirectory, sizeof(b->moduleDirectory)) != 0) {
        b->moduleDirectory[0] = '\0';
    }

    // A class or command that does not fit is never cut: it counts as unreadable.
    if (ReadRegistryString(b->keyPath, sizeof(b->keyPath), HKEY_CLASSES_ROOT, kInfKey,
                           kDefaultValue) != 0 ||
        AppendText(b->keyPath, sizeof(b->keyPath), kInstallCommandSuffix) != 0) {
        return IDS_SETUP_BROKEN;
    }
    if (ReadRegistryString(b->commandTemplate, sizeof(b->commandTemplate), HKEY_CLASSES_ROOT,
                           b->keyPath, kDefaultValue) != 0) {
        return IDS_OS_UNSUPPORTED;
    }

    *exitCode = -1;
    if (ReplaceToken(b->argument, sizeof(b->argument), kExePathToken, b->moduleDirectory,
                     b->expandedArgument, sizeof(b->expandedArgument)) != 0) {
        return 0;
    }
    StripQuotes(b->unquotedArgument, sizeof(b->unquotedArgument), b->expandedArgument);
    ReplaceToken(b->commandTemplate, sizeof(b->commandTemplate), kFileToken, b->unquotedArgument,
                 b->commandLine, sizeof(b->commandLine));

    ExecuteAndWait(b->commandLine, nullptr, SW_SHOWNORMAL, nullptr, true, true);
    *exitCode = 0;
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
    LaunchBuffers buffers;
    FillZero(&buffers, sizeof(buffers));
    int exitCode;
    UINT message = Launch(cmdLine, &buffers, &exitCode);
    if (message != 0) {
        // Loaded and shown in Unicode, so the text reaches the screen unchanged
        // whatever the ANSI code page; the loader picks the table of the
        // user's language. A failed load shows an empty text.
        const int kMessageCapacity = 100;
        WCHAR text[kMessageCapacity];
        text[0] = L'\0';
        LoadStringW(instance, message, text, kMessageCapacity);
        MessageBoxW(nullptr, text, nullptr, MB_ICONERROR);
    }
    return exitCode;
}

// Tavrel runs elevated, often from a downloads folder: a DLL planted beside
// it must never be loaded. Systems without SetDefaultDllDirectories run on.
void RestrictDllSearchToSystem() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    HMODULE kernel = LoadLibraryA("kernel32.dll");  // already loaded: no search
    if (kernel == nullptr) return;
    SetDefaultDllDirectoriesFn setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The linker's symbol for the start of this image: its module handle.
extern "C" IMAGE_DOS_HEADER __ImageBase;

// The process starts here, with no C runtime: the argument text is the
// command line after the program's own name.
extern "C" __attribute__((externally_visible)) void WINAPI WinMainCRTStartup() {
    RestrictDllSearchToSystem();
    LeadBytes lead;
    LoadAnsiLeadBytes(&lead);
    const char* argumentText = SkipProgramName(GetCommandLineA(), &lead);
    int result = WinMain(reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr,
                         const_cast<LPSTR>(argumentText), SW_SHOWDEFAULT);
    ExitProcess(static_cast<UINT>(result));
}
