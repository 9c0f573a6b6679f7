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

// Under WOW64 the environment names the 32-bit Program Files; a 64-bit
// system that registered %ProgramFiles% meant the native one.
const char* NativeVariableFor(const char* name, const SystemFacts* facts) {
    if (!facts->wow64) return nullptr;
    if (IsWholeText(name, "ProgramFiles")) return "ProgramW6432";
    if (IsWholeText(name, "CommonProgramFiles")) return "CommonProgramW6432";
    return nullptr;
}

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

// The value of the variable `name`, as the facts' callback reports it: -1
// when it is not set, `capacity` or more when it does not fit.
int ValueOf(const char* name, const SystemFacts* facts, char* value, int capacity) {
    if (NamesWindowsFolder(name)) {
        return CopyText(value, capacity, facts->windowsDirectory) == 0 ? TextLength(value) : capacity;
    }
    const char* nativeName = NativeVariableFor(name, facts);
    int length = -1;
    if (nativeName != nullptr) length = facts->variable(nativeName, value, capacity, facts->context);
    if (length < 0) length = facts->variable(name, value, capacity, facts->context);
    return length;
}

// Checks `folder` (the first `folderLength` bytes) joined with `name`.
bool FindInFolder(const char* folder, int folderLength, const char* name,
                  const SystemFacts* facts, char* found, int capacity) {
    char path[kProgramPathCapacity];
    int used = 0;
    if (!AppendBytes(path, sizeof(path), &used, folder, folderLength)) return false;
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
        if (FindInFolder(folder, TextLength(folder), name, facts, found, capacity)) return true;
    }
    // PATH's absolute folders only: ".", empty and relative entries would
    // name the current folder or one below it.
    const char* entry = facts->searchPath;
    for (;;) {
        int length = 0;
        while (entry[length] != '\0' && entry[length] != ';') ++length;
        if (length > 0 && FindInFolder(entry, length, name, facts, found, capacity)) return true;
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

int ExpandReferences(const char* src, const SystemFacts* facts, char* dst, int capacity) {
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
                int valueLength = ValueOf(name, facts, value, sizeof(value));
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
