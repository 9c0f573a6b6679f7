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
    // Under WOW64, the alias through which a 32-bit program reaches the
    // native system directory (C:\Windows\Sysnative); "" elsewhere, and where
    // the system has no such alias.
    const char* nativeSystemAlias;
    bool wow64;  // a 32-bit program on 64-bit Windows
    // What `path` names on disk.
    PathKind (*kindOf)(const char* path, void* context);
    // Copies the environment variable `name` into dst. Returns -1 when it is
    // not set, else the value's length; a length of `capacity` or more means
    // the value did not fit and dst holds nothing usable.
    int (*variable)(const char* name, char* dst, int capacity, void* context);
    void* context;
};

PathForm FormOf(const char* path, const LeadBytes* lead);

// The path through the native alias of `path` when it lies in the system
// directory (compared without regard to ASCII case, '/' the same as '\\'),
// e.g. C:\Windows\Sysnative\x.exe for C:\Windows\System32\x.exe. Returns
// false when it does not lie there, there is no alias, or the result does
// not fit.
bool NativeAliasOf(const char* path, const SystemFacts* facts, char* alias, int capacity);

// Expands %NAME% references as the system does (names match without regard
// to case; a name that is not set stays as written). %SystemRoot% and
// %windir% are the system's Windows folder. Under WOW64, %ProgramFiles% and
// %CommonProgramFiles% are the native folders (ProgramW6432 and
// CommonProgramW6432), as the 64-bit system that registered them meant. Returns 0, or -1 when the result
// does not fit in `capacity` (dst then holds nothing usable).
int ExpandReferences(const char* src, const SystemFacts* facts, char* dst, int capacity);

// Finds the program `written` names: expanded, then an absolute path that
// names a file, or a bare name found as a file in the system directory, the
// Windows directory or an absolute folder of PATH, in that order. A relative
// path is never looked up. Under WOW64 a path in the system directory is
// taken through the native alias when the native file exists, so the 64-bit
// program runs; else the 32-bit one. `found` receives the absolute path; returns false
// when there is none that fits in `capacity`.
bool LookUpProgram(const char* written, const SystemFacts* facts, char* found, int capacity);

// The same for a name that is already expanded.
bool LookUpExpanded(const char* expanded, const SystemFacts* facts, char* found, int capacity);

#endif
