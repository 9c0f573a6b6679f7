// runner.exe PROGRAM COMMAND-LINE-FILE [--timeout MS] [--box-shown FILE] [--close-box-when FILE]
// Starts PROGRAM with the exact command line stored in COMMAND-LINE-FILE
// (Wine re-quotes argv, so the line travels as data), closes any message box
// it shows, and prints the box texts (UTF-8) and the full 32-bit exit code.
// For a screenshot, --box-shown FILE is written once a box has been read and
// painted, and the box stays open until --close-box-when FILE exists. Exits
// 0 when the run ended by itself, 2 on a usage error, 3 on a time-out.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "process_runner.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: runner PROGRAM COMMAND-LINE-FILE [--timeout MS] "
                             "[--box-shown FILE] [--close-box-when FILE]\n");
        return 2;
    }
    std::ifstream file(argv[2], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "runner: cannot read %s\n", argv[2]);
        return 2;
    }
    std::string commandLine((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    while (!commandLine.empty() && (commandLine.back() == '\n' || commandLine.back() == '\r')) {
        commandLine.pop_back();
    }

    RunOptions options;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--timeout") == 0) options.timeoutMs = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--box-shown") == 0) options.boxShownMarker = argv[i + 1];
        else if (std::strcmp(argv[i], "--close-box-when") == 0) options.closeBoxWhen = argv[i + 1];
    }

    RunResult result = RunProcess(argv[1], commandLine, options);
    if (!result.started) {
        std::printf("could not start %s (error %lu)\n", argv[1], result.startError);
        return 2;
    }
    for (const MessageBoxSeen& box : result.boxes) {
        std::printf("message box: [%s] %s\n", box.caption.c_str(), box.text.c_str());
    }
    if (result.timedOut) {
        std::printf("timed out after %lu ms; process ended\n", ScaledMs(options.timeoutMs));
        return 3;
    }
    std::printf("exit code: %ld (0x%08lX)\n", static_cast<long>(result.exitCode), result.exitCode);
    return 0;
}
