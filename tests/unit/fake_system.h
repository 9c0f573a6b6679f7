// A stand-in for the system's facts the program lookup is based on: a few
// files and folders, an environment, and the system folders. Records every
// path it is asked about, so a test can show where the lookup looked.
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
    bool wow64 = false;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    std::map<std::string, std::string> environment;  // names in lower case
    LeadBytes lead = {};
    std::vector<std::string> asked;
    std::vector<std::string> variablesAsked;

    static PathKind KindOf(const char* path, void* context) {
        FakeSystem* system = static_cast<FakeSystem*>(context);
        system->asked.push_back(path);
        auto has = [&](const std::vector<std::string>& names) {
            return std::find(names.begin(), names.end(), path) != names.end();
        };
        return has(system->files) ? kPathFile : has(system->folders) ? kPathFolder : kPathMissing;
    }

    static int Variable(const char* name, char* dst, int capacity, void* context) {
        FakeSystem* system = static_cast<FakeSystem*>(context);
        system->variablesAsked.push_back(name);
        auto found = system->environment.find(LowerAscii(name));
        if (found == system->environment.end()) return -1;
        int length = static_cast<int>(found->second.size());
        if (length < capacity) std::memcpy(dst, found->second.c_str(), length + 1);
        return length;
    }

    SystemFacts Facts() {
        return SystemFacts{&lead, systemDirectory.c_str(), windowsDirectory.c_str(),
                           searchPath.c_str(), nativeSystemAlias.c_str(), wow64, KindOf,
                           Variable, this};
    }
};

#endif
