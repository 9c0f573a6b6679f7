#include "program_lookup.h"

#include "text_buffer.h"

namespace {

enum { kVariableNameCapacity = 260 };

bool IsAsciiLetter(char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

// Appends `count` bytes at dst[*used]; false when they and a NUL do not fit.
bool AppendBytes(char* dst, int capacity, int* used, const char* src, int count) {
    if (CopyBytes(dst + *used, capacity - *used, src, count) != 0) return false;
    *used += count;
    return true;
}

// Whether `name` is `expected` as the system matches variable names.
bool IsWholeText(const char* name, const char* expected) {
    return SameIgnoringAsciiCase(name, expected, TextLength(expected) + 1);
}

// The Windows folder is the system's own: an elevated program must not let
// the user's environment choose where its installer comes from.
bool NamesWindowsFolder(const char* name) {
    return IsWholeText(name, "SystemRoot") || IsWholeText(name, "windir");
}

// The names whose folders the system keeps outside the machine's
// environment, with the values that hold them. Read in the native view,
// ProgramFilesDir is the native Program Files also under WOW64, as the
// 64-bit system that registered %ProgramFiles% meant.
const struct {
    const char* name;
    MachineValue where;
} kFolderValues[] = {
    {"ProgramFiles", {kCurrentVersionKey, "ProgramFilesDir"}},
    {"ProgramFiles(x86)", {kCurrentVersionKey, "ProgramFilesDir (x86)"}},
    {"ProgramW6432", {kCurrentVersionKey, "ProgramW6432Dir"}},
    {"CommonProgramFiles", {kCurrentVersionKey, "CommonFilesDir"}},
    {"CommonProgramFiles(x86)", {kCurrentVersionKey, "CommonFilesDir (x86)"}},
    {"CommonProgramW6432", {kCurrentVersionKey, "CommonW6432Dir"}},
    {"ProgramData", {kProfileListKey, "ProgramData"}},
};

// Whether `path` starts with `folder` and a separator, compared as the
// system compares paths: ASCII case folded, '/' the same as '\\'. The
// system's folders are ASCII, so a byte-wise comparison is enough.
bool LiesIn(const char* path, const char* folder) {
    int i = 0;
    for (; folder[i] != '\0'; ++i) {
        bool same = IsSeparator(path[i]) ? IsSeparator(folder[i])
                                         : SameIgnoringAsciiCase(path + i, folder + i, 1);
        if (!same) return false;
    }
    return i > 0 && IsSeparator(path[i]);
}

// A file at `path`, through the native alias when there is one: under
// WOW64 the native program is the one the system registered.
bool TakeFile(const char* path, const SystemFacts* facts, char* found, int capacity) {
    char alias[kProgramPathCapacity];
    const char* file = path;
    if (NativeAliasOf(path, facts, alias, sizeof(alias)) &&
        facts->kindOf(alias, facts->context) == kPathFile) {
        file = alias;
    } else if (facts->kindOf(path, facts->context) != kPathFile) {
        return false;
    }
    return CopyText(found, capacity, file) == 0;
}

int ExpandAtDepth(const char* src, const SystemFacts* facts, char* dst, int capacity, int depth);

// The value of %name% on this machine, its own references expanded while
// `depth` allows: -1 when the machine does not define it, `capacity` or
// more when it does not fit.
int ValueOf(const char* name, const SystemFacts* facts, char* value, int capacity, int depth) {
    const char* windows = facts->windowsDirectory;
    if (NamesWindowsFolder(name)) {
        return CopyText(value, capacity, windows) == 0 ? TextLength(value) : capacity;
    }
    if (IsWholeText(name, "SystemDrive")) {
        if (windows[0] == '\0' || windows[1] != ':') return -1;
        return CopyBytes(value, capacity, windows, 2) == 0 ? 2 : capacity;
    }
    char stored[kProgramPathCapacity];
    int length = facts->machineValue(MachineValueOf(name), stored, sizeof(stored), facts->context);
    if (length < 0 || length >= static_cast<int>(sizeof(stored))) return length;
    if (depth == 0) return CopyText(value, capacity, stored) == 0 ? length : capacity;
    return ExpandAtDepth(stored, facts, value, capacity, depth - 1) == 0 ? TextLength(value)
                                                                          : capacity;
}

// Checks `folder` joined with `name`.
bool FindInFolder(const char* folder, const char* name, const SystemFacts* facts, char* found,
                  int capacity) {
    char path[kProgramPathCapacity];
    int used = TextLength(folder);
    if (CopyText(path, sizeof(path), folder) != 0) return false;
    if (FormOf(path, facts->lead) != kAbsolutePath) return false;
    PathParts parts;
    FindPathParts(path, facts->lead, &parts);
    bool endsWithSeparator = parts.directoryEnd == parts.end;
    if (!endsWithSeparator && !AppendBytes(path, sizeof(path), &used, "\\", 1)) return false;
    if (!AppendBytes(path, sizeof(path), &used, name, TextLength(name))) return false;
    return TakeFile(path, facts, found, capacity);
}

bool FindInSystemFolders(const char* name, const SystemFacts* facts, char* found, int capacity) {
    const char* folders[] = {facts->systemDirectory, facts->windowsDirectory};
    for (const char* folder : folders) {
        if (FindInFolder(folder, name, facts, found, capacity)) return true;
    }
    // The machine's Path, each entry expanded from the machine's settings;
    // its absolute folders only: ".", empty and relative entries would name
    // the current folder or one below it.
    const char* entry = facts->searchPath;
    for (;;) {
        int length = 0;
        while (entry[length] != '\0' && entry[length] != ';') ++length;
        char written[kProgramPathCapacity];
        char folder[kProgramPathCapacity];
        if (CopyBytes(written, sizeof(written), entry, length) == 0 &&
            ExpandReferences(written, facts, folder, sizeof(folder)) == 0 &&
            FindInFolder(folder, name, facts, found, capacity)) {
            return true;
        }
        if (entry[length] == '\0') return false;
        entry += length + 1;
    }
}

}  // namespace

PathForm FormOf(const char* path, const LeadBytes* lead) {
    if (IsAsciiLetter(path[0]) && path[1] == ':' && IsSeparator(path[2])) return kAbsolutePath;
    if (IsSeparator(path[0]) && IsSeparator(path[1])) return kAbsolutePath;
    PathParts parts;
    FindPathParts(path, lead, &parts);
    // No drive, no folder; and no ':' that would name a stream or a device.
    bool bare = parts.end > 0 && parts.directoryEnd == 0;
    for (int i = 0; bare && path[i] != '\0'; ++i) bare = path[i] != ':';
    return bare ? kBareName : kRelativePath;
}

bool NativeAliasOf(const char* path, const SystemFacts* facts, char* alias, int capacity) {
    // No alias ("" on 32-bit Windows) is no absolute path.
    if (!LiesIn(path, facts->systemDirectory)) return false;
    const char* rest = path + TextLength(facts->systemDirectory);
    return FormOf(facts->nativeSystemAlias, facts->lead) == kAbsolutePath &&
           CopyText(alias, capacity, facts->nativeSystemAlias) == 0 &&
           AppendText(alias, capacity, rest) == 0;
}

namespace {

int ExpandAtDepth(const char* src, const SystemFacts* facts, char* dst, int capacity, int depth) {
    if (capacity <= 0) return -1;
    dst[0] = '\0';
    int used = 0;
    while (*src != '\0') {
        // A piece is one byte, a %NAME% reference, or a lone '%' and the
        // rest; it is copied as written unless it names a value.
        const char* piece = src;
        int length = 1;
        int consumed = 1;
        char value[kProgramPathCapacity];
        if (*src == '%') {
            int close = 1;
            while (src[close] != '\0' && src[close] != '%') ++close;
            bool closed = src[close] == '%';
            consumed = length = closed ? close + 1 : close;
            char name[kVariableNameCapacity];
            if (closed && close > 1 && CopyBytes(name, sizeof(name), src + 1, close - 1) == 0) {
                int valueLength = ValueOf(name, facts, value, sizeof(value), depth);
                if (valueLength >= static_cast<int>(sizeof(value))) return -1;
                if (valueLength >= 0) {
                    piece = value;
                    length = valueLength;
                }
            }
        }
        if (!AppendBytes(dst, capacity, &used, piece, length)) return -1;
        src += consumed;
    }
    return 0;
}

}  // namespace

const char kMachineEnvironmentKey[] =
    "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kMachinePathValue[] = "Path";
const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kProfileListKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

MachineValue MachineValueOf(const char* name) {
    for (const auto& folder : kFolderValues) {
        if (IsWholeText(name, folder.name)) return folder.where;
    }
    return MachineValue{kMachineEnvironmentKey, name};
}

// A machine value's own references are expanded once: the machine keeps
// Path and others as %SystemRoot%\... (REG_EXPAND_SZ).
int ExpandReferences(const char* src, const SystemFacts* facts, char* dst, int capacity) {
    return ExpandAtDepth(src, facts, dst, capacity, 1);
}

bool LookUpExpanded(const char* expanded, const SystemFacts* facts, char* found, int capacity) {
    switch (FormOf(expanded, facts->lead)) {
    case kAbsolutePath:
        return TakeFile(expanded, facts, found, capacity);
    case kBareName:
        return FindInSystemFolders(expanded, facts, found, capacity);
    default:
        return false;  // never relative to Tavrel's folder or the current one
    }
}

bool LookUpProgram(const char* written, const SystemFacts* facts, char* found, int capacity) {
    char expanded[kProgramPathCapacity];
    if (ExpandReferences(written, facts, expanded, sizeof(expanded)) != 0) return false;
    return LookUpExpanded(expanded, facts, found, capacity);
}
