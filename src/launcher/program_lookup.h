// Where a program named in the install command is looked for: environment
// references expanded from the machine's own settings (the Windows folder
// taken from the system), absolute paths checked as written, bare names
// looked up in the system folders and the machine's Path only. Tavrel runs
// elevated, often from a downloads folder: its own folder, the current
// folder and anything the user can set (user variables, the user's Path,
// the environment Tavrel inherited) never decide which program runs.
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

// Where the machine keeps a value: a key under HKEY_LOCAL_MACHINE, which
// only administrators can change, and the name of a value in it.
struct MachineValue {
    const char* keyPath;
    const char* valueName;
};

// The machine's environment: the variables every user's environment starts
// from, before the user's own are put over them.
extern const char kMachineEnvironmentKey[];
extern const char kMachinePathValue[];  // "Path"
// The folders of Program Files, read in the native (64-bit) view, where
// ProgramFilesDir is the native folder also under WOW64.
extern const char kCurrentVersionKey[];
extern const char kProfileListKey[];  // ProgramData

// Where the machine keeps the value of %name%: the Program Files names and
// ProgramData in the keys where the system keeps those folders (the
// environment is built from them), any other name in the machine's
// environment. Names match without regard to ASCII case.
MachineValue MachineValueOf(const char* name);

// The system's facts the lookup is based on. The platform layer fills them
// in; every decision is taken here.
struct SystemFacts {
    const LeadBytes* lead;         // of the ANSI code page
    const char* systemDirectory;   // C:\Windows\System32
    const char* windowsDirectory;  // C:\Windows
    // The machine's Path as stored, its references not yet expanded ("" when
    // it has none); never the user's Path or the inherited PATH.
    const char* searchPath;
    // Under WOW64, the alias through which a 32-bit program reaches the
    // native system directory (C:\Windows\Sysnative); "" elsewhere, and where
    // the system has no such alias.
    const char* nativeSystemAlias;
    // What `path` names on disk.
    PathKind (*kindOf)(const char* path, void* context);
    // Copies the string value `where` names (HKEY_LOCAL_MACHINE, read only)
    // into dst. Returns -1 when it cannot be read, else the value's length; a
    // length of `capacity` or more means the value did not fit and dst holds
    // nothing usable.
    int (*machineValue)(MachineValue where, char* dst, int capacity, void* context);
    void* context;
};

PathForm FormOf(const char* path, const LeadBytes* lead);

// The path through the native alias of `path` when it lies in the system
// directory (compared without regard to ASCII case, '/' the same as '\\'),
// e.g. C:\Windows\Sysnative\x.exe for C:\Windows\System32\x.exe. Returns
// false when it does not lie there, there is no alias, or the result does
// not fit.
bool NativeAliasOf(const char* path, const SystemFacts* facts, char* alias, int capacity);

// Expands %NAME% references from the machine's settings (names match
// without regard to case; a name the machine does not define stays as
// written). %SystemRoot% and %windir% are the system's Windows folder and
// %SystemDrive% its drive; any other name is read where MachineValueOf
// says, and the references in that value are expanded once more the same
// way (those in their values stay as written). So under WOW64
// %ProgramFiles% and %CommonProgramFiles% are the native folders, as the
// 64-bit system that registered them meant. Returns 0, or -1 when the result
// does not fit in `capacity` (dst then holds nothing usable).
int ExpandReferences(const char* src, const SystemFacts* facts, char* dst, int capacity);

// Finds the program `written` names: expanded, then an absolute path that
// names a file, or a bare name found as a file in the system directory, the
// Windows directory or an absolute folder of the machine's Path (each
// expanded), in that order. A relative
// path is never looked up. Under WOW64 a path in the system directory is
// taken through the native alias when the native file exists, so the 64-bit
// program runs; else the 32-bit one. `found` receives the absolute path; returns false
// when there is none that fits in `capacity`.
bool LookUpProgram(const char* written, const SystemFacts* facts, char* found, int capacity);

// The same for a name that is already expanded.
bool LookUpExpanded(const char* expanded, const SystemFacts* facts, char* found, int capacity);

#endif
