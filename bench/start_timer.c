/* start_timer.exe RUNS COMMAND-LINE-FILE
   Starts the command line stored in COMMAND-LINE-FILE (as data: Wine would
   re-quote argv) RUNS times, one after the other, after one unmeasured
   warm-up run, and prints for each run the time from CreateProcessA until
   the process has ended, in milliseconds, and its exit code. Timing here,
   inside Wine, leaves out the start of the Unix-side wine loader. A run
   that lasts over a minute is ended and counts as a failure. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define RUN_LIMIT_MS 60000

static int RunOnce(const char* commandLine, double* elapsedMs, DWORD* exitCode) {
    char line[2048];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    LARGE_INTEGER frequency, begin, end;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    lstrcpynA(line, commandLine, sizeof(line));
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        return 0;
    }
    if (WaitForSingleObject(process.hProcess, RUN_LIMIT_MS) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        SetLastError(ERROR_TIMEOUT);
        return 0;
    }
    QueryPerformanceCounter(&end);
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    *elapsedMs = (double)(end.QuadPart - begin.QuadPart) * 1000.0 / (double)frequency.QuadPart;
    return 1;
}

int main(int argc, char** argv) {
    char commandLine[2048];
    FILE* file;
    size_t length;
    int runs, i;
    double elapsedMs;
    DWORD exitCode = 0;
    if (argc != 3 || (runs = atoi(argv[1])) < 1) {
        fprintf(stderr, "usage: start_timer RUNS COMMAND-LINE-FILE\n");
        return 2;
    }
    file = fopen(argv[2], "rb");
    if (file == NULL) {
        fprintf(stderr, "start_timer: cannot read %s\n", argv[2]);
        return 2;
    }
    length = fread(commandLine, 1, sizeof(commandLine) - 1, file);
    fclose(file);
    while (length > 0 && (commandLine[length - 1] == '\n' || commandLine[length - 1] == '\r')) {
        length--;
    }
    commandLine[length] = '\0';

    for (i = 0; i <= runs; i++) {
        if (!RunOnce(commandLine, &elapsedMs, &exitCode)) {
            fprintf(stderr, "start_timer: %s did not start or did not end (error %lu)\n", commandLine,
                    GetLastError());
            return 1;
        }
        if (i > 0) printf("%.3f %ld\n", elapsedMs, (long)exitCode);
    }
    return 0;
}
