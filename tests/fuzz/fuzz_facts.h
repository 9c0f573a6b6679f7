// The system the program lookup targets run against: a few files and
// folders, the machine's settings and the system folders, all read from the
// input.
// Its callbacks check how they are called; beside it, a reference of how
// references are expanded and how a path is written.
#ifndef TAVREL_FUZZ_FACTS_H
#define TAVREL_FUZZ_FACTS_H

#include <map>
#include <set>

#include "fuzz_support.h"
#include "program_lookup.h"

inline std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return text;
}

// The non-empty items of `field` between '|' signs, each up to its first NUL.
inline std::vector<std::string> Items(const std::string& field) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= field.size()) {
        size_t bar = std::min(field.find('|', start), field.size());
        std::string item = AsText(field.substr(start, bar - start));
        if (!item.empty()) items.push_back(item);
        start = bar + 1;
    }
    return items;
}

inline bool IsWindowsFolderName(const std::string& name) {
    std::string lower = LowerAscii(name);
    return lower == "systemroot" || lower == "windir";
}

// The names the system keeps outside the machine's environment, with the
// key and value that hold them (lower case); any other name is a value of
// the same name in the machine's environment.
struct FolderValue {
    const char* name;
    const char* key;
    const char* value;
};
inline const std::vector<FolderValue>& FolderValues() {
    static const std::vector<FolderValue> values = {
        {"programfiles", kCurrentVersionKey, "programfilesdir"},
        {"programfiles(x86)", kCurrentVersionKey, "programfilesdir (x86)"},
        {"programw6432", kCurrentVersionKey, "programw6432dir"},
        {"commonprogramfiles", kCurrentVersionKey, "commonfilesdir"},
        {"commonprogramfiles(x86)", kCurrentVersionKey, "commonfilesdir (x86)"},
        {"commonprogramw6432", kCurrentVersionKey, "commonw6432dir"},
        {"programdata", kProfileListKey, "programdata"},
    };
    return values;
}
inline std::string ExpectedValueName(const std::string& lowerName, std::string* key) {
    for (const FolderValue& folder : FolderValues()) {
        if (lowerName == folder.name) {
            *key = folder.key;
            return folder.value;
        }
    }
    *key = kMachineEnvironmentKey;
    return lowerName;
}

// The lead bytes of the system's ANSI code page, checked as the path split
// takes them, then kept to 0x81-0xFE: no code page a system reports has lead
// bytes elsewhere, and an ASCII lead byte would make '\\' or ':' end a
// text alone, where the lookup and a reference may read it differently.
inline LeadBytes SystemLeadBytes(unsigned codePage, unsigned maxCharSize, const std::string& ranges) {
    LeadBytes lead = CheckedLeadBytes(codePage, maxCharSize, ranges);
    for (int b = 0; b < 256; ++b) {
        if (b < 0x81 || b > 0xFE) lead.isLead[b] = 0;
    }
    return lead;
}

struct FuzzSystem {
    LeadBytes lead = {};
    std::set<std::string> files, folders;
    // The machine's values, by value name in lower case; one map for the
    // machine's environment and the keys of the system's folders.
    std::map<std::string, std::string> environment;
    std::string systemDirectory, windowsDirectory, searchPath, nativeSystemAlias;
    bool lookUpExpected = true;  // ExpandReferences alone never looks at the disk
    std::vector<std::string> asked, valuesAsked;

    // "name=value" items; the first of two names that differ only in case
    // wins, as the registry keeps one of them. The lookup reads names of up
    // to 259 bytes: longer ones are left out.
    void SetEnvironment(const std::string& field) {
        for (const std::string& item : Items(field)) {
            size_t equals = item.find('=');
            if (equals == 0 || equals == std::string::npos || equals > 259) continue;
            environment.emplace(LowerAscii(item.substr(0, equals)), item.substr(equals + 1));
        }
    }

    static PathKind KindOf(const char* path, void* context) {
        FuzzSystem* system = static_cast<FuzzSystem*>(context);
        Check(system->lookUpExpected, "ExpandReferences looks at no path");
        Check(memchr(path, 0, kProgramPathCapacity) != nullptr,
              "a path looked at ends within " + std::to_string(kProgramPathCapacity) + " bytes");
        std::string text = path;
        bool absolute = text.size() >= 2 && (text[0] == '\\' || text[0] == '/') &&
                        (text[1] == '\\' || text[1] == '/');
        absolute |= text.size() >= 3 && ((text[0] | 0x20) >= 'a' && (text[0] | 0x20) <= 'z') &&
                    text[1] == ':' && (text[2] == '\\' || text[2] == '/');
        if (!absolute) Fail("a path looked at is absolute", "X:\\..., X:/..., \\\\... or //...", Escaped(text));
        system->asked.push_back(text);
        return system->files.count(text) ? kPathFile
               : system->folders.count(text) ? kPathFolder
                                             : kPathMissing;
    }

    // As the registry read: the length, or more than the capacity when the
    // value and its NUL do not fit (dst then holds nothing usable); -1 when
    // the machine has no such value. Each name must be asked for in the key
    // that holds it.
    static int ReadValue(MachineValue where, char* dst, int capacity, void* context) {
        FuzzSystem* system = static_cast<FuzzSystem*>(context);
        Check(memchr(where.valueName, 0, 260) != nullptr, "a value name asked for ends within 260 bytes");
        std::string valueName = LowerAscii(where.valueName);
        if (IsWindowsFolderName(valueName) || valueName == "systemdrive") {
            Fail("the Windows folder and its drive come from the system, not the machine's values",
                 "no read of SystemRoot, windir or SystemDrive", Escaped(where.valueName));
        }
        bool knownKey = false;
        for (const FolderValue& folder : FolderValues()) {
            knownKey |= valueName == folder.value && std::string(where.keyPath) == folder.key;
        }
        knownKey |= std::string(where.keyPath) == kMachineEnvironmentKey;
        Check(knownKey, "the value " + Escaped(where.valueName) + " is read from a key that holds it, not " +
                            Escaped(where.keyPath));
        system->valuesAsked.push_back(valueName);
        Check(capacity > 0, "a value is read into a buffer of at least one byte");
        // Whatever the system leaves in the buffer it was given: shows a
        // capacity larger than the buffer, and a value used that did not fit.
        memset(dst, 0x25, capacity);
        auto found = system->environment.find(valueName);
        if (found == system->environment.end()) return -1;
        int length = static_cast<int>(found->second.size());
        if (length >= capacity) return length + 1;
        memcpy(dst, found->second.c_str(), length + 1);
        return length;
    }

    bool FactsHoldPercent() const {
        bool percent = systemDirectory.find('%') != std::string::npos ||
                       windowsDirectory.find('%') != std::string::npos ||
                       searchPath.find('%') != std::string::npos ||
                       nativeSystemAlias.find('%') != std::string::npos;
        for (const auto& variable : environment) percent |= variable.second.find('%') != std::string::npos;
        return percent;
    }
};

// The facts' texts in blocks of exactly their size, so a read past them shows.
struct FactsCopy {
    std::unique_ptr<char[]> systemDirectory, windowsDirectory, searchPath, nativeSystemAlias;
    SystemFacts facts;

    explicit FactsCopy(FuzzSystem* system)
        : systemDirectory(ExactCopy(system->systemDirectory, true)),
          windowsDirectory(ExactCopy(system->windowsDirectory, true)),
          searchPath(ExactCopy(system->searchPath, true)),
          nativeSystemAlias(ExactCopy(system->nativeSystemAlias, true)),
          facts{&system->lead,         systemDirectory.get(),   windowsDirectory.get(),
                searchPath.get(),      nativeSystemAlias.get(),
                FuzzSystem::KindOf,    FuzzSystem::ReadValue,   system} {}
};

// Reference expansion: from the left, a '%' and the next '%' enclose a
// name; SystemRoot and windir (any case) are the system's Windows folder and
// SystemDrive its first two bytes when the second is ':'; any other name
// that the machine defines (FolderValues, else the environment) is its
// value, whose own references are expanded the same way while `depth`
// allows (a value, as stored or expanded, of kProgramPathCapacity bytes or
// more fails the whole expansion); anything else stays as written and the text goes on after its
// closing '%'. A '%' with none after it stays with the rest of the text.
// The bytes scanned for, '%', are never the second byte of a double-byte
// character. False when the result and its NUL do not fit in `capacity`.
inline bool ExpectedExpansion(const std::string& text, const FuzzSystem& system, size_t capacity,
                              std::string* out, int depth = 1) {
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        size_t open = text.find('%', i);
        if (open == std::string::npos) {
            *out += text.substr(i);
            break;
        }
        *out += text.substr(i, open - i);
        size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            *out += text.substr(open);
            break;
        }
        std::string name = text.substr(open + 1, close - open - 1);
        std::string lower = LowerAscii(name);
        std::string key;
        auto value = system.environment.find(ExpectedValueName(lower, &key));
        const std::string& windows = system.windowsDirectory;
        if (IsWindowsFolderName(name)) {
            *out += windows;
        } else if (lower == "systemdrive") {
            *out += windows.size() >= 2 && windows[1] == ':' ? windows.substr(0, 2)
                                                              : text.substr(open, close - open + 1);
        } else if (!name.empty() && value != system.environment.end()) {
            // A value is read, and expanded, into a program path's buffer.
            if (value->second.size() >= kProgramPathCapacity) return false;
            std::string nested;
            if (depth > 0 &&
                !ExpectedExpansion(value->second, system, kProgramPathCapacity, &nested, depth - 1)) {
                return false;
            }
            *out += depth > 0 ? nested : value->second;
        } else {
            *out += text.substr(open, close - open + 1);
        }
        i = close + 1;
    }
    return out->size() < capacity;
}

// The characters of `path`: a lead byte takes the byte after it, if any.
inline std::vector<std::string> Characters(const std::string& path, const LeadBytes& lead) {
    std::vector<std::string> characters;
    for (size_t i = 0; i < path.size();) {
        size_t width = lead.isLead[static_cast<unsigned char>(path[i])] && i + 1 < path.size() ? 2 : 1;
        characters.push_back(path.substr(i, width));
        i += width;
    }
    return characters;
}

inline bool IsSeparatorCharacter(const std::string& character) {
    return character == "\\" || character == "/";
}

// X:\ or X:/ (X an ASCII letter), \\ or // start an absolute path; a bare
// name holds no separator and no ':' character; anything else, the empty
// text included, is relative.
inline PathForm ExpectedForm(const std::string& path, const LeadBytes& lead) {
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    char first = path.empty() ? 0 : (path[0] | 0x20);
    if (path.size() >= 3 && first >= 'a' && first <= 'z' && path[1] == ':' && separator(path[2])) {
        return kAbsolutePath;
    }
    if (path.size() >= 2 && separator(path[0]) && separator(path[1])) return kAbsolutePath;
    if (path.empty()) return kRelativePath;
    for (const std::string& character : Characters(path, lead)) {
        if (IsSeparatorCharacter(character) || character == ":") return kRelativePath;
    }
    return kBareName;
}

#endif
