// The system the program lookup targets run against: a few files and
// folders, an environment and the system folders, all read from the input.
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

struct FuzzSystem {
    LeadBytes lead = {};
    std::set<std::string> files, folders;
    std::map<std::string, std::string> environment;  // names in lower case
    std::string systemDirectory, windowsDirectory, searchPath, nativeSystemAlias;
    bool wow64 = false;
    bool lookUpExpected = true;  // ExpandReferences alone never looks at the disk
    std::vector<std::string> asked, variablesAsked;

    // "name=value" items; the first of two names that differ only in case
    // wins, as the system keeps one of them. The lookup reads names of up
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

    // As GetEnvironmentVariableA: the length, or the size needed when the
    // value and its NUL do not fit (dst then untouched); -1 when not set.
    static int Variable(const char* name, char* dst, int capacity, void* context) {
        FuzzSystem* system = static_cast<FuzzSystem*>(context);
        Check(memchr(name, 0, 260) != nullptr, "a variable name asked for ends within 260 bytes");
        if (IsWindowsFolderName(name)) {
            Fail("the Windows folder comes from the system, not the environment",
                 "no lookup of SystemRoot or windir", Escaped(name));
        }
        system->variablesAsked.push_back(name);
        Check(capacity > 0, "a variable is read into a buffer of at least one byte");
        // Whatever the system leaves in the buffer it was given: shows a
        // capacity larger than the buffer, and a value used that did not fit.
        memset(dst, 0x25, capacity);
        auto found = system->environment.find(LowerAscii(name));
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
                searchPath.get(),      nativeSystemAlias.get(), system->wow64,
                FuzzSystem::KindOf,    FuzzSystem::Variable,    system} {}
};

// Reference expansion: from the left, a '%' and the next '%' enclose a
// name; SystemRoot and windir (any case) are the system's Windows folder,
// a name that is set is its value (under WOW64, ProgramFiles and
// CommonProgramFiles, any case, are ProgramW6432 and CommonProgramW6432
// when those are set), anything else stays as written and the
// text goes on after its closing '%'. A '%' with none after it stays with
// the rest of the text. The bytes scanned for, '%', are never the second
// byte of a double-byte character. False when the result and its NUL do not
// fit in `capacity`.
inline bool ExpectedExpansion(const std::string& text, const FuzzSystem& system, size_t capacity,
                              std::string* out) {
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
        auto variable = system.environment.end();
        if (system.wow64 && lower == "programfiles") variable = system.environment.find("programw6432");
        if (system.wow64 && lower == "commonprogramfiles") {
            variable = system.environment.find("commonprogramw6432");
        }
        if (variable == system.environment.end()) variable = system.environment.find(lower);
        if (IsWindowsFolderName(name)) {
            *out += system.windowsDirectory;
        } else if (variable != system.environment.end()) {
            *out += variable->second;
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
