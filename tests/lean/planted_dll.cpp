// Stands in for a DLL that an attacker drops beside Tavrel.exe. When a
// process loads it, it appends the paths of itself and of the process to the
// file named by TAVREL_PLANTED_MARKER and ends the process at once with
// kPlantedExitCode, so no caller can go on with its missing exports.
#include <windows.h>

namespace {

const UINT kPlantedExitCode = 0xD11;

void AppendMarker(HINSTANCE self) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("TAVREL_PLANTED_MARKER", path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char line[2 * MAX_PATH + 2];
    DWORD used = GetModuleFileNameA(self, line, MAX_PATH);
    line[used++] = ' ';
    used += GetModuleFileNameA(nullptr, line + used, MAX_PATH);
    line[used++] = '\n';
    DWORD written = 0;
    WriteFile(file, line, used, &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        AppendMarker(self);
        TerminateProcess(GetCurrentProcess(), kPlantedExitCode);
    }
    return TRUE;
}
