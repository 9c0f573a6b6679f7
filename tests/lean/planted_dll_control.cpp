// Shows one message box, as Tavrel does for an empty argument, but leaves the
// DLL search as the system sets it: a DLL planted beside it is found first.
#include <windows.h>

extern "C" void WINAPI ControlStart() {
    MessageBoxA(nullptr, "control", nullptr, MB_ICONERROR);
    ExitProcess(0);
}
