// Finds where the program part of a command line ends, starts it through the
// shell and waits until it has ended; on Windows, also finds functions of
// system DLLs loaded late.
#ifndef TAVREL_EXECUTE_AND_WAIT_H
#define TAVREL_EXECUTE_AND_WAIT_H

#include "path_split.h"
#include "program_lookup.h"

enum { kCandidateCapacity = 260 };

struct ResolvedCommand {
    const char* program;     // an absolute path, in the caller's program buffer
    const char* parameters;  // points into the text; null when there are none
};

// Finds the program at the head of a command line whose program path and
// parameters are not told apart. Each space in turn, from the left, is tried
// as the end of the program: the text before it is looked up (see
// LookUpProgram), then, as a last resort, its file name and extension alone
// in the system folders. When no space ends a program, the whole text is
// tried as one program, then the program in double quotes or up to the
// first blank. `program` (kProgramPathCapacity bytes) receives the absolute
// path of the file found; nothing else is ever handed to the shell. Returns
// false when no program was found.
bool ResolveProgram(const char* text, const SystemFacts* facts, char* program,
                    ResolvedCommand* resolved);

// The system's reading of a command line: a program in double quotes runs
// to its closing quote, an unquoted one to the first blank; the parameters
// are the rest after the blanks that follow. Leading blanks are skipped.
// Returns false when the program does not fit in `program` or is empty.
bool SplitAtProgramName(const char* text, char* program, int programCapacity,
                        ResolvedCommand* resolved);

// Windows side only (execute_and_wait_win32.cpp): everything above builds
// without windows.h.
#ifdef _WIN32
#include <windows.h>

// A function of a system DLL, or null. Kernel32 is already loaded; any
// other DLL is loaded once the search is restricted to the system directory.
void* SystemFunction(const char* dll, const char* name);

// Starts `text` with the verb "open" and, when `wait` is set, returns only
// once the started process has ended. With `split` set, the program part is
// found in `text` and `parameters` is not used; else `text` is the program,
// looked up as one. Returns the nonzero result of ShellExecuteExA, or 0 when
// no program was found or nothing could be started.
int ExecuteAndWait(const char* text, const char* parameters, int showCommand,
                   HWND ownerWindow, bool wait, bool split);
#endif  // _WIN32

#endif
