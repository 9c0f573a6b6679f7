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

bool IsWholeText(const char* name, const char* expected) {
    int length = TextLength(expected);
    return TextLength(name) == length && SameIgnoringAsciiCase(name, expected, length);
}

// The Windows folder is the system's own: an elevated program must not let
// the user's environment choose where its installer comes from.
bool NamesWindowsFolder(const char* name) {
    return IsWholeText(name, "SystemRoot") || IsWholeText(name, "windir");
}

bool EndsWithSeparator(const char* path, int length, const LeadBytes* lead) {
    bool separator = false;
    for (int i = 0; i < length;) {
        if (IsLead(lead, path[i]) && i + 1 < length) {
            separator = false;
            i += 2;
        } else {
            separator = IsSeparator(path[i]);
            ++i;
        }
    }
    return separator;
}

// Checks `folder` (the first `folderLength` bytes) joined with `name`.
bool FindInFolder(const char* folder, int folderLength, const char* name,
                  const SystemFacts* facts, char* found, int capacity) {
    char path[kProgramPathCapacity];
    int used = 0;
    if (!AppendBytes(path, sizeof(path), &used, folder, folderLength)) return false;
    if (FormOf(path, facts->lead) != kAbsolutePath) return false;
    if (!EndsWithSeparator(path, used, facts->lead) &&
        !AppendBytes(path, sizeof(path), &used, "\\", 1)) {
        return false;
    }
    if (!AppendBytes(path, sizeof(path), &used, name, TextLength(name))) return false;
    if (facts->kindOf(path, facts->context) != kPathFile) return false;
    return CopyText(found, capacity, path) == 0;
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
    if (path[0] == '\0') return kRelativePath;
    for (int i = 0; path[i] != '\0';) {
        if (IsLead(lead, path[i]) && path[i + 1] != '\0') {
            i += 2;
            continue;
        }
        if (IsSeparator(path[i]) || path[i] == ':') return kRelativePath;
        ++i;
    }
    return kBareName;
}

int ExpandReferences(const char* src, const SystemFacts* facts, char* dst, int capacity) {
    if (capacity <= 0) return -1;
    dst[0] = '\0';
    int used = 0;
    int i = 0;
    while (src[i] != '\0') {
        if (src[i] != '%') {
            if (!AppendBytes(dst, capacity, &used, src + i, 1)) return -1;
            ++i;
            continue;
        }
        int close = i + 1;
        while (src[close] != '\0' && src[close] != '%') ++close;
        if (src[close] == '\0') {  // a lone percent sign: the rest as written
            return AppendBytes(dst, capacity, &used, src + i, close - i) ? 0 : -1;
        }

        char name[kVariableNameCapacity];
        char value[kProgramPathCapacity];
        int nameLength = close - i - 1;
        bool replaced = false;
        if (nameLength > 0 && CopyBytes(name, sizeof(name), src + i + 1, nameLength) == 0) {
            if (NamesWindowsFolder(name)) {
                if (!AppendBytes(dst, capacity, &used, facts->windowsDirectory,
                                 TextLength(facts->windowsDirectory))) {
                    return -1;
                }
                replaced = true;
            } else {
                int length = facts->variable(name, value, sizeof(value), facts->context);
                if (length >= static_cast<int>(sizeof(value))) return -1;
                if (length >= 0) {
                    if (!AppendBytes(dst, capacity, &used, value, length)) return -1;
                    replaced = true;
                }
            }
        }
        if (!replaced && !AppendBytes(dst, capacity, &used, src + i, close + 1 - i)) return -1;
        i = close + 1;
    }
    return 0;
}

bool LookUpExpanded(const char* expanded, const SystemFacts* facts, char* found, int capacity) {
    switch (FormOf(expanded, facts->lead)) {
    case kAbsolutePath:
        return facts->kindOf(expanded, facts->context) == kPathFile &&
               CopyText(found, capacity, expanded) == 0;
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
