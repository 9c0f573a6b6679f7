// A stand-in for the system's facts the program lookup is based on: a few
// files and folders, the machine's settings, and the system folders.
// Records every path and every value it is asked for, so a test can show
// where the lookup looked.
#ifndef TAVREL_TESTS_FAKE_SYSTEM_H
#define TAVREL_TESTS_FAKE_SYSTEM_H

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "program_lookup.h"

inline std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return text;
}

struct FakeSystem {
    std::string systemDirectory = "C:\\Windows\\System32";
    std::string windowsDirectory = "C:\\Windows";
    std::string searchPath;
    std::string nativeSystemAlias;  // "C:\\Windows\\Sysnative" under WOW64
    std::vector<std::string> files;
    std::vector<std::string> folders;
    // The machine's settings, value names in lower case: its environment,
    // the CurrentVersion key's folders, the ProfileList key's.
    std::map<std::string, std::string> environment;
    std::map<std::string, std::string> currentVersion;
    std::map<std::string, std::string> profileList;
    LeadBytes lead = {};
    std::vector<std::string> asked;
    std::vector<std::string> valuesAsked;  // key, " : ", value name

    static PathKind KindOf(const char* path, void* context) {
        FakeSystem* system = static_cast<FakeSystem*>(context);
        system->asked.push_back(path);
        auto has = [&](const std::vector<std::string>& names) {
            return std::find(names.begin(), names.end(), path) != names.end();
        };
        return has(system->files) ? kPathFile : has(system->folders) ? kPathFolder : kPathMissing;
    }

    static int ReadValue(MachineValue where, char* dst, int capacity, void* context) {
        FakeSystem* system = static_cast<FakeSystem*>(context);
        std::string key = where.keyPath;
        system->valuesAsked.push_back(key + " : " + where.valueName);
        const std::map<std::string, std::string>* values =
            key == kMachineEnvironmentKey ? &system->environment
            : key == kCurrentVersionKey   ? &system->currentVersion
            : key == kProfileListKey      ? &system->profileList
                                          : nullptr;
        if (values == nullptr) return -1;
        auto found = values->find(LowerAscii(where.valueName));
        if (found == values->end()) return -1;
        int length = static_cast<int>(found->second.size());
        if (length < capacity) std::memcpy(dst, found->second.c_str(), length + 1);
        return length;
    }

    SystemFacts Facts() {
        return SystemFacts{&lead, systemDirectory.c_str(), windowsDirectory.c_str(),
                           searchPath.c_str(), nativeSystemAlias.c_str(), KindOf,
                           ReadValue, this};
    }
};

#endif
