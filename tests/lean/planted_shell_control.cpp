// Linked to SHELL32 as programs usually are: the loader brings SHELL32 and
// its dependencies in before the first instruction, searching beside the
// program first.
#include <windows.h>
#include <shellapi.h>

extern "C" void WINAPI ControlStart() {
    // Referenced so that the import stays; never called.
    typedef BOOL(WINAPI * ShellExecuteExFn)(SHELLEXECUTEINFOA*);
    ShellExecuteExFn volatile keep = ShellExecuteExA;
    (void)keep;
    ExitProcess(0);
}
