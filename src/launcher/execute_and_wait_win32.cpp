#include <windows.h>

#include "execute_and_wait.h"
#include "text_buffer.h"

static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "the launch record must have its 32-bit layout");

// The longest value an environment variable can have, with its NUL.
enum { kSearchPathCapacity = 32768 };

namespace {

PathKind KindOfPath(const char* path, void*) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return kPathMissing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kPathFolder : kPathFile;
}

// A string value of the machine's, read only, in the native view: under
// WOW64 the 32-bit view of CurrentVersion names the 32-bit Program Files.
// The machine environment's key is not redirected, so the view changes
// nothing there.
int ReadMachineValue(MachineValue where, char* dst, int capacity, void*) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, where.keyPath, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return -1;
    }
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(capacity - 1);  // room for a NUL the value may lack
    LONG status = RegQueryValueExA(key, where.valueName, nullptr, &type,
                                   reinterpret_cast<BYTE*>(dst), &size);
    RegCloseKey(key);
    if (status == ERROR_MORE_DATA) return capacity;
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return -1;
    dst[size] = '\0';
    return BoundedLength(dst, capacity);
}

// A folder that cannot be read leaves an empty text, which names no folder.
void ReadFolder(UINT (WINAPI* get)(LPSTR, UINT), char* dst, int capacity) {
    UINT length = get(dst, static_cast<UINT>(capacity));
    if (length == 0 || length >= static_cast<UINT>(capacity)) dst[0] = '\0';
}

bool RunsUnderWow64() {
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, BOOL*);
    IsWow64ProcessFn isWow64 =
        reinterpret_cast<IsWow64ProcessFn>(SystemFunction("kernel32.dll", "IsWow64Process"));
    BOOL wow64 = FALSE;
    // The pseudo handle of the running process, as GetCurrentProcess gives it.
    HANDLE self = reinterpret_cast<HANDLE>(-1);
    return isWow64 != nullptr && isWow64(self, &wow64) && wow64;
}

// The alias through which a 32-bit program reaches the native system
// directory under WOW64; "" elsewhere. Where the system has no such alias,
// no file is found through it and the 32-bit one is taken. Redirection
// stays on: switched off, every DLL the shell loads on this thread would
// come from the 64-bit folder.
void ReadNativeSystemAlias(bool wow64, const char* windowsDirectory, char* dst, int capacity) {
    dst[0] = '\0';
    if (wow64 && (CopyText(dst, capacity, windowsDirectory) != 0 ||
                  AppendText(dst, capacity, "\\Sysnative") != 0)) {
        dst[0] = '\0';
    }
}

// SHELL32 is loaded only when it is needed, once the DLL search has been
// restricted to the system directory: linked at start-up, its own
// dependencies would be looked for beside Tavrel.exe first.
BOOL ShellExecuteFromSystem(SHELLEXECUTEINFOA* record) {
    typedef BOOL(WINAPI * ShellExecuteExFn)(SHELLEXECUTEINFOA*);
    ShellExecuteExFn shellExecuteEx =
        reinterpret_cast<ShellExecuteExFn>(SystemFunction("shell32.dll", "ShellExecuteExA"));
    return shellExecuteEx != nullptr && shellExecuteEx(record);
}

// Polls once a second. The state is read before each pause, so the wait
// lasts at least one pause and ends one to two seconds after the process.
// The handle, not the exit code, tells that the process has ended: an
// installer may well exit with 259 (STILL_ACTIVE).
void WaitUntilEnded(HANDLE process) {
    for (;;) {
        bool ended = process == nullptr || WaitForSingleObject(process, 0) != WAIT_TIMEOUT;
        Sleep(1000);
        if (ended) return;
    }
}

}  // namespace

void* SystemFunction(const char* dll, const char* name) {
    HMODULE module = LoadLibraryA(dll);
    return module != nullptr ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

int ExecuteAndWait(const char* text, const char* parameters, int showCommand,
                   HWND ownerWindow, bool wait, bool split) {
    LeadBytes lead;
    LoadAnsiLeadBytes(&lead);
    char systemDirectory[kProgramPathCapacity];
    char windowsDirectory[kProgramPathCapacity];
    char searchPath[kSearchPathCapacity];
    ReadFolder(GetSystemDirectoryA, systemDirectory, sizeof(systemDirectory));
    ReadFolder(GetSystemWindowsDirectoryA, windowsDirectory, sizeof(windowsDirectory));
    int pathLength = ReadMachineValue(MachineValue{kMachineEnvironmentKey, kMachinePathValue},
                                      searchPath, sizeof(searchPath), nullptr);
    if (pathLength < 0 || pathLength >= static_cast<int>(sizeof(searchPath))) searchPath[0] = '\0';
    char nativeSystemAlias[kProgramPathCapacity];
    ReadNativeSystemAlias(RunsUnderWow64(), windowsDirectory, nativeSystemAlias,
                          sizeof(nativeSystemAlias));
    SystemFacts facts = {&lead, systemDirectory, windowsDirectory, searchPath, nativeSystemAlias,
                         KindOfPath, ReadMachineValue, nullptr};

    char program[kProgramPathCapacity];
    ResolvedCommand command = {program, parameters};
    if (split) {
        if (!ResolveProgram(text, &facts, program, &command)) return 0;
    } else if (!LookUpProgram(text, &facts, program, sizeof(program))) {
        return 0;
    }

    SHELLEXECUTEINFOA record;
    FillZero(&record, sizeof(record));
    record.cbSize = sizeof(record);
    record.fMask = SEE_MASK_FLAG_NO_UI | (wait ? SEE_MASK_NOCLOSEPROCESS : 0);
    record.hwnd = ownerWindow;
    record.lpVerb = "open";
    record.lpFile = command.program;
    record.lpParameters = command.parameters;
    record.nShow = showCommand;

    BOOL started = ShellExecuteFromSystem(&record);
    if (!started) return 0;
    if (wait) {
        WaitUntilEnded(record.hProcess);
        if (record.hProcess != nullptr) CloseHandle(record.hProcess);
    }
    return started;
}
