/* Stands in for an installer that has nothing to do: it ends at once.
   No C runtime, so its own start costs nothing beyond the process. */
#include <windows.h>

void WINAPI QuickExitStart(void) {
    ExitProcess(0);
}
