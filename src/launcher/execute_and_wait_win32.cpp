#include <windows.h>

#include "execute_and_wait.h"
#include "text_buffer.h"

static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "the launch record must have its 32-bit layout");

namespace {

enum PathKind { kMissing, kFile, kFolder };

PathKind KindOf(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return kMissing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kFolder : kFile;
}

// SearchPathA also finds folders: C:\Vendor must not be taken for the
// program C:\Vendor Tools\setup.exe.
bool SearchFindsFile(const char* name, void*) {
    char found[kCandidateCapacity * 4];
    DWORD length = SearchPathA(nullptr, name, nullptr, sizeof(found), found, nullptr);
    return length != 0 && length < sizeof(found) && KindOf(found) == kFile;
}

// Registered commands are often REG_EXPAND_SZ and may name the program as
// %SystemRoot%\...; the shell does not expand that by itself.
bool ExpandProgram(const char* program, char* expanded, int capacity) {
    DWORD length = ExpandEnvironmentStringsA(program, expanded, capacity);
    return length != 0 && length <= static_cast<DWORD>(capacity);
}

// SHELL32 is loaded only when it is needed, once the DLL search has been
// restricted to the system directory: linked at start-up, its own
// dependencies would be looked for beside Tavrel.exe first.
BOOL ShellExecuteFromSystem(SHELLEXECUTEINFOA* record) {
    typedef BOOL(WINAPI * ShellExecuteExFn)(SHELLEXECUTEINFOA*);
    HMODULE shell = LoadLibraryA("shell32.dll");
    if (shell == nullptr) return FALSE;
    ShellExecuteExFn shellExecuteEx = reinterpret_cast<ShellExecuteExFn>(
        reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteExA")));
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

int ExecuteAndWait(const char* text, const char* parameters, int showCommand,
                   HWND ownerWindow, bool wait, bool split) {
    char candidate[kCandidateCapacity];
    char name[kCandidateCapacity];
    char program[kCandidateCapacity * 4];
    char expanded[kCandidateCapacity * 4];

    ResolvedCommand command = {text, parameters};
    if (split) {
        LeadBytes lead;
        LoadAnsiLeadBytes(&lead);
        if (!ResolveProgram(text, &lead, SearchFindsFile, nullptr, candidate, name, &command)) {
            // No space ended the program: the whole text may be one whose
            // path holds spaces; else the program is read as the system
            // reads a command line. A folder is never opened in its place.
            if (SearchFindsFile(text, nullptr)) {
                command.program = text;
                command.parameters = nullptr;
            } else {
                if (!SplitAtProgramName(text, program, sizeof(program), &command)) return 0;
                if (!ExpandProgram(program, expanded, sizeof(expanded))) return 0;
                if (KindOf(expanded) == kFolder) return 0;
                command.program = expanded;
            }
        }
    }
    if (command.program == nullptr || command.program[0] == '\0') return 0;

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
