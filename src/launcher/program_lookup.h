// Where a program named in the install command is looked for: environment
// references expanded (the Windows folder taken from the system, never from
// the environment), absolute paths checked as written, bare names looked up
// in the system folders only. Tavrel runs elevated, often from a downloads
// folder: its own folder and the current folder are never searched.
#ifndef TAVREL_PROGRAM_LOOKUP_H
#define TAVREL_PROGRAM_LOOKUP_H

#include "path_split.h"

enum { kProgramPathCapacity = 260 };

enum PathKind { kPathMissing, kPathFile, kPathFolder };

// How a program path is written.
enum PathForm {
    kAbsolutePath,  // X:\... or \\...
    kBareName,      // no separator and no drive
    kRelativePath,  // anything else: tools\x.exe, ..\x.exe, C:x.exe, \x.exe, empty
};

// The system's facts the lookup is based on. The platform layer fills them
// in; every decision is taken here.
struct SystemFacts {
    const LeadBytes* lead;         // of the ANSI code page
    const char* systemDirectory;   // C:\Windows\System32
    const char* windowsDirectory;  // C:\Windows
    const char* searchPath;        // the PATH variable, "" when unset
    // What `path` names on disk.
    PathKind (*kindOf)(const char* path, void* context);
    // Copies the environment variable `name` into dst. Returns -1 when it is
    // not set, else the value's length; a length of `capacity` or more means
    // the value did not fit and dst holds nothing usable.
    int (*variable)(const char* name, char* dst, int capacity, void* context);
    void* context;
};

PathForm FormOf(const char* path, const LeadBytes* lead);

// Expands %NAME% references as the system does (names match without regard
// to case; a name that is not set stays as written). %SystemRoot% and
// %windir% are the system's Windows folder. Returns 0, or -1 when the result
// does not fit in `capacity` (dst then holds nothing usable).
int ExpandReferences(const char* src, const SystemFacts* facts, char* dst, int capacity);

// Finds the program `written` names: expanded, then an absolute path that
// names a file, or a bare name found as a file in the system directory, the
// Windows directory or an absolute folder of PATH, in that order. A relative
// path is never looked up. `found` receives the absolute path; returns false
// when there is none that fits in `capacity`.
bool LookUpProgram(const char* written, const SystemFacts* facts, char* found, int capacity);

// The same for a name that is already expanded.
bool LookUpExpanded(const char* expanded, const SystemFacts* facts, char* found, int capacity);

#endif
