// Finds where the program part of a command line ends, starts it through the
// shell and waits until it has ended.
#ifndef TAVREL_EXECUTE_AND_WAIT_H
#define TAVREL_EXECUTE_AND_WAIT_H

#include "path_split.h"

enum { kCandidateCapacity = 260 };

// Answers whether `name` names a file (not a folder) the system would find.
typedef bool (*FileSearch)(const char* name, void* context);

struct ResolvedCommand {
    const char* program;     // points into the text or into the caller's buffers
    const char* parameters;  // points into the text; null when there are none
};

// Tries each space of `text` in turn as the end of the program: the text
// before it is the candidate, taken as written when `search` finds it, else
// by its file name and extension alone when `search` finds those. A text
// without a space is the program itself. `candidate` and `name` are working
// buffers of kCandidateCapacity bytes. Returns true when a program was found.
bool ResolveProgram(const char* text, const LeadBytes* lead, FileSearch search,
                    void* context, char* candidate, char* name,
                    ResolvedCommand* resolved);

// The platform's own rule, for a command line the resolution cannot split:
// a program in double quotes runs to its closing quote, an unquoted one to
// the first blank; the parameters are the rest after the blanks that follow.
// Leading blanks are skipped. Returns false when the program does not fit
// in `program` or is empty.
bool SplitAtProgramName(const char* text, char* program, int programCapacity,
                        ResolvedCommand* resolved);

#ifdef _WIN32
#include <windows.h>

// Starts `text` with the verb "open" and, when `wait` is set, returns only
// once the started process has ended. With `split` set, the program part is
// found in `text` and `parameters` is not used. Returns the nonzero result of
// ShellExecuteExA, or 0 when nothing could be started.
int ExecuteAndWait(const char* text, const char* parameters, int showCommand,
                   HWND ownerWindow, bool wait, bool split);
#endif

#endif
