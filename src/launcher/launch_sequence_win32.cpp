#include <windows.h>

#include "execute_and_wait.h"
#include "launch_sequence.h"
#include "path_split.h"
#include "replace_token.h"
#include "text_buffer.h"
#include "../../res/resource_ids.h"

namespace {

const char kDefaultValue[] = "";
const char kExePathToken[] = "%EXEPATH%";
const char kFileToken[] = "%1";

}  // namespace

static_assert(kNoBestFitChars == WC_NO_BEST_FIT_CHARS && kErrorInvalidChars == WC_ERR_INVALID_CHARS,
              "the conversion flags are the system's");

namespace {

// Long enough for any path the system can hand out; a program path that
// does not fit is refused rather than cut.
enum { kWidePathCapacity = 1024, kAnsiPathCapacity = 1024 };

// Converts to the ANSI code page only when no character is lost or
// replaced by a look-alike.
bool ToAnsiLosslessly(const WCHAR* wide, char* dst, int capacity) {
    LosslessConversion how = LosslessConversionFor(GetACP());
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(CP_ACP, how.flags, wide, -1, dst, capacity, nullptr,
                                     how.askUsedDefault ? &usedDefault : nullptr);
    return length > 0 && !usedDefault;
}

// The argument text as the system holds it, in Unicode, must come through
// the ANSI code page unchanged: else a path with a character the code page
// cannot hold would reach the installer mangled.
bool ArgumentSurvivesCodePage(const char* argument) {
    char converted[kArgumentCapacity];
    return ToAnsiLosslessly(SkipProgramNameWide(GetCommandLineW()), converted,
                            sizeof(converted)) &&
           SameText(converted, argument);
}

}  // namespace

int GetModuleDirectory(char* dst, int capacity) {
    WCHAR path[kWidePathCapacity];
    DWORD length = GetModuleFileNameW(nullptr, path, kWidePathCapacity);
    char longPath[kAnsiPathCapacity];
    char shortPath[kAnsiPathCapacity];
    bool haveLong = false;
    bool haveShort = false;
    if (length > 0 && length < kWidePathCapacity) {
        haveLong = ToAnsiLosslessly(path, longPath, sizeof(longPath));
        // A folder named in another script: its short name is plain ASCII
        // where the volume keeps short names.
        WCHAR shortWide[kWidePathCapacity];
        DWORD shortLength = haveLong ? 0 : GetShortPathNameW(path, shortWide, kWidePathCapacity);
        haveShort = shortLength > 0 && shortLength < kWidePathCapacity &&
                    ToAnsiLosslessly(shortWide, shortPath, sizeof(shortPath));
    }
    LeadBytes lead;
    LoadAnsiLeadBytes(&lead);
    return ChooseModuleDirectory(haveLong ? longPath : nullptr, haveShort ? shortPath : nullptr,
                                 &lead, dst, capacity);
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
    // The class keeps the room it has under HKEY_CLASSES_ROOT.
    char keyPath[sizeof(kMachineClassesKey) - 1 + kKeyPathCapacity];
    char moduleDirectory[kModuleDirectoryCapacity];
    char expandedArgument[kExpandedArgumentCapacity];
    char unquotedArgument[kUnquotedArgumentCapacity];
    char commandTemplate[kCommandTemplateCapacity];
    char commandLine[kCommandLineCapacity];
};

// Runs the launch; returns 0 once the install command has run (or could not
// be started), else the message to show and, through *exitCode, the code.
UINT Launch(const char* cmdLine, LaunchBuffers* b, int* exitCode) {
    *exitCode = kExitSetupBroken;
    int argumentLength = BoundedLength(cmdLine, kMaxArgumentLength + 1);
    if (argumentLength == 0) {
        *exitCode = kExitNoArgument;
        return IDS_SETUP_BROKEN;
    }
    if (argumentLength > kMaxArgumentLength || !ArgumentSurvivesCodePage(cmdLine)) {
        return IDS_SETUP_BROKEN;
    }
    CopyText(b->argument, sizeof(b->argument), cmdLine);

    bool haveModuleDirectory =
        GetModuleDirectory(b->moduleDirectory, sizeof(b->moduleDirectory)) == 0;

    // The machine's registration only (see launch_sequence.h). A class or
    // command that does not fit is never cut: it counts as unreadable.
    const int prefixLength = sizeof(kMachineClassesKey) - 1;
    CopyText(b->keyPath, sizeof(b->keyPath), kMachineClassesKey);
    if (ReadRegistryString(b->keyPath + prefixLength, kKeyPathCapacity, HKEY_LOCAL_MACHINE,
                           kMachineInfKey, kDefaultValue) != 0 ||
        AppendText(b->keyPath, sizeof(b->keyPath), kInstallCommandSuffix) != 0) {
        return IDS_SETUP_BROKEN;
    }
    if (ReadRegistryString(b->commandTemplate, sizeof(b->commandTemplate), HKEY_LOCAL_MACHINE,
                           b->keyPath, kDefaultValue) != 0) {
        return IDS_OS_UNSUPPORTED;
    }

    // The token and the capacities are fixed, so the substitutions cannot be
    // refused.
    ReplaceToken(b->argument, sizeof(b->argument), kExePathToken, b->moduleDirectory,
                 b->expandedArgument, sizeof(b->expandedArgument));
    // %EXEPATH% must become Tavrel's whole folder. Without it (an empty one
    // would make the path relative to the current folder), or with a path
    // too long to take it whole, the installer would get a wrong path.
    // (The buffer was zero-filled: a text that reaches its last byte but one
    // may have been cut.)
    bool usesFolder = ContainsText(b->argument, kExePathToken);
    bool cut = b->expandedArgument[sizeof(b->expandedArgument) - 2] != '\0';
    if ((usesFolder && !haveModuleDirectory) || ContainsText(b->expandedArgument, kExePathToken) ||
        cut) {
        return IDS_SETUP_BROKEN;
    }
    StripQuotes(b->unquotedArgument, sizeof(b->unquotedArgument), b->expandedArgument);
    ReplaceToken(b->commandTemplate, sizeof(b->commandTemplate), kFileToken, b->unquotedArgument,
                 b->commandLine, sizeof(b->commandLine));

    ExecuteAndWait(b->commandLine, nullptr, SW_SHOWNORMAL, nullptr, true, true);
    *exitCode = kExitLaunched;
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
    SetDefaultDllDirectoriesFn setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        SystemFunction("kernel32.dll", "SetDefaultDllDirectories"));
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
