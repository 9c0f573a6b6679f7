// Starts a program with an exact command line under Wine, closes any message
// box it shows (keeping its caption and text, read as Unicode), and reports
// its full 32-bit exit code.
#ifndef TAVREL_TESTS_PROCESS_RUNNER_H
#define TAVREL_TESTS_PROCESS_RUNNER_H

#include <windows.h>

#include <string>
#include <vector>

struct MessageBoxSeen {
    std::string caption;  // UTF-8
    std::string text;     // UTF-8
};

struct RunResult {
    bool started = false;
    DWORD startError = 0;   // GetLastError() when it could not be started
    bool timedOut = false;
    DWORD exitCode = 0;
    std::vector<MessageBoxSeen> boxes;
    ULONGLONG endedAt = 0;  // FILETIME ticks (100 ns) when the process was seen ended
};

struct RunOptions {
    DWORD timeoutMs = 30000;  // stretched by ScaledMs
    // For a screenshot: written (empty) once a box's text has been read and
    // the box repainted; the box then stays open until `closeBoxWhen`
    // exists (or the time-out).
    std::string boxShownMarker;
    std::string closeBoxWhen;
};

// `program` may be empty: then the first token of `commandLine` names it.
RunResult RunProcess(const std::string& program, const std::string& commandLine,
                     const RunOptions& options = RunOptions());

// The same with an exact Unicode command line, as a shortcut starts a
// program whose folder or argument the ANSI code page cannot hold.
RunResult RunProcessWide(const std::wstring& program, const std::wstring& commandLine,
                         const RunOptions& options = RunOptions());

ULONGLONG NowTicks();

// A time a test allows for work to be done (a time-out, the slack of an
// upper bound), stretched by TAVREL_TEST_TIME_SCALE (a whole number, 1
// when unset) for machines where everything runs several times slower,
// such as a software-emulated virtual machine. Never for a lower bound:
// a pause Tavrel must make is as long everywhere.
DWORD ScaledMs(DWORD ms);

// Text in the ANSI code page to UTF-8 and back, for readable comparisons.
std::string AnsiToUtf8(const std::string& ansi);
std::string Utf8ToAnsi(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);

#endif
