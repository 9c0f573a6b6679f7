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

// The message is loaded into `buffer` (the argument buffer) when it is shown.
void ShowMessage(HINSTANCE instance, UINT id, char* buffer) {
    buffer[0] = '\0';
    LoadStringA(instance, id, buffer, 100);
    MessageBoxA(nullptr, buffer, nullptr, MB_ICONERROR);
}

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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
    char argument[kArgumentCapacity];
    char keyPath[kKeyPathCapacity];
    char moduleDirectory[kModuleDirectoryCapacity];
    char expandedArgument[kExpandedArgumentCapacity];
    char unquotedArgument[kUnquotedArgumentCapacity];
    char commandTemplate[kCommandTemplateCapacity];
    char commandLine[kCommandLineCapacity];
    FillZero(argument, sizeof(argument));
    FillZero(keyPath, sizeof(keyPath));
    FillZero(expandedArgument, sizeof(expandedArgument));
    FillZero(unquotedArgument, sizeof(unquotedArgument));
    FillZero(commandTemplate, sizeof(commandTemplate));
    FillZero(commandLine, sizeof(commandLine));

    int argumentLength = BoundedLength(cmdLine, kMaxArgumentLength + 1);
    if (argumentLength == 0) {
        ShowMessage(instance, IDS_SETUP_BROKEN, argument);
        return -1;
    }
    if (argumentLength > kMaxArgumentLength) {
        ShowMessage(instance, IDS_SETUP_BROKEN, argument);
        return -2;
    }
    CopyText(argument, sizeof(argument), cmdLine);

    if (GetModuleDirectory(moduleDirectory, sizeof(moduleDirectory)) != 0) {
        moduleDirectory[0] = '\0';
    }

    // A class or command that does not fit is never cut: it counts as unreadable.
    if (ReadRegistryString(keyPath, sizeof(keyPath), HKEY_CLASSES_ROOT, kInfKey, kDefaultValue) != 0 ||
        AppendText(keyPath, sizeof(keyPath), kInstallCommandSuffix) != 0) {
        ShowMessage(instance, IDS_SETUP_BROKEN, argument);
        return -2;
    }
    if (ReadRegistryString(commandTemplate, sizeof(commandTemplate), HKEY_CLASSES_ROOT, keyPath,
                           kDefaultValue) != 0) {
        ShowMessage(instance, IDS_OS_UNSUPPORTED, argument);
        return -2;
    }

    if (ReplaceToken(argument, sizeof(argument), kExePathToken, moduleDirectory,
                     expandedArgument, sizeof(expandedArgument)) != 0) {
        return -1;
    }
    StripQuotes(unquotedArgument, sizeof(unquotedArgument), expandedArgument);
    ReplaceToken(commandTemplate, sizeof(commandTemplate), kFileToken, unquotedArgument,
                 commandLine, sizeof(commandLine));

    ExecuteAndWait(commandLine, nullptr, SW_SHOWNORMAL, nullptr, true, true);
    return 0;
}

// Tavrel runs elevated, often from a downloads folder: a DLL planted beside
// it must never be loaded. Systems without SetDefaultDllDirectories run on.
void RestrictDllSearchToSystem() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    SetDefaultDllDirectoriesFn setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The process starts here, with no C runtime: the argument text is the
// command line after the program's own name.
extern "C" void WINAPI WinMainCRTStartup() {
    RestrictDllSearchToSystem();
    LeadBytes lead;
    LoadAnsiLeadBytes(&lead);
    const char* argumentText = SkipProgramName(GetCommandLineA(), &lead);
    int result = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(argumentText),
                         SW_SHOWDEFAULT);
    ExitProcess(static_cast<UINT>(result));
}
