#include "registry_guard.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

const char kGuardKey[] = "Software\\Tavrel Tests\\Registration Guard";

namespace {

const char kInfKey[] = "Software\\Classes\\.inf";
const char kClassesKey[] = "Software\\Classes";
const char kSavedInf[] = "inf";          // the copy of the .inf key, when it existed
const char kNotedClasses[] = "classes";  // a value per class key a test created (its name)
// A key per user class key a test changes, holding under kSavedCopy the
// user's own key as it was, when there was one.
const char kNotedUserClasses[] = "user classes";
const char kSavedCopy[] = "saved";
// A value per file or folder a test adds (its path; 1 for a folder), and
// per machine key an install adds (its path; the registry view).
const char kAddedFiles[] = "added files";
const char kAddedKeys[] = "added keys";
// A key per machine value a test changes: "key", "name", and the value as
// it was under "saved" when there was one.
const char kMachineValues[] = "machine values";

// Copies fromRoot\from (all of it) to toRoot\to, which is made afresh.
LONG CopyKey(HKEY fromRoot, const std::string& from, HKEY toRoot, const std::string& to) {
    RegDeleteTreeA(toRoot, to.c_str());
    HKEY source, target;
    LONG status = RegOpenKeyExA(fromRoot, from.c_str(), 0, KEY_READ, &source);
    if (status != ERROR_SUCCESS) return status;
    status = RegCreateKeyExA(toRoot, to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target,
                             nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegCopyTreeA(source, nullptr, target);
        RegCloseKey(target);
    }
    RegCloseKey(source);
    return status;
}

LONG CopyKey(const std::string& from, const std::string& to) {
    return CopyKey(HKEY_LOCAL_MACHINE, from, HKEY_LOCAL_MACHINE, to);
}

bool KeyExists(HKEY root, const std::string& subKey) {
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string Guarded(const char* part) { return std::string(kGuardKey) + "\\" + part; }

// The values of a key of the guard: names and DWORD data, in order.
std::vector<std::pair<std::string, DWORD>> NotedValues(const char* part) {
    std::vector<std::pair<std::string, DWORD>> noted;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, Guarded(part).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return noted;
    }
    char name[2048];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof(name), data = 0, size = sizeof(data);
        if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS) {
            break;
        }
        noted.emplace_back(std::string(name, length), data);
    }
    RegCloseKey(key);
    return noted;
}

void Note(const char* part, const std::string& name, DWORD data) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, Guarded(part).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
    RegCloseKey(key);
}

// The names of the subkeys of HKLM\path, in order.
std::vector<std::string> SubkeyNames(const std::string& path) {
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

void DeleteNotedClasses() {
    for (const auto& entry : NotedValues(kNotedClasses)) {
        if (!entry.first.empty()) RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kClassesKey) + "\\" + entry.first).c_str());
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, Guarded(kNotedClasses).c_str());
}

void PutBackUserClasses() {
    const std::string noted = Guarded(kNotedUserClasses);
    for (const std::string& name : SubkeyNames(noted)) {
        const std::string userKey = std::string(kClassesKey) + "\\" + name;
        const std::string saved = noted + "\\" + name + "\\" + kSavedCopy;
        RegDeleteTreeA(HKEY_CURRENT_USER, userKey.c_str());
        if (KeyExists(HKEY_LOCAL_MACHINE, saved)) CopyKey(HKEY_LOCAL_MACHINE, saved, HKEY_CURRENT_USER, userKey);
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, noted.c_str());
}

void DeleteTreeInView(const std::string& subKey, DWORD view) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteTreeA(key, nullptr);
    RegCloseKey(key);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), view, 0);
}

// Files first, then folders, the deepest first, so that each is empty by then.
void RemoveAddedFiles() {
    auto noted = NotedValues(kAddedFiles);
    std::sort(noted.begin(), noted.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second < b.second : a.first.size() > b.first.size();
    });
    for (const auto& entry : noted) {
        if (entry.second == 0) {
            SetFileAttributesA(entry.first.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(entry.first.c_str());
        } else {
            RemoveDirectoryA(entry.first.c_str());
        }
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, Guarded(kAddedFiles).c_str());
    for (const auto& entry : NotedValues(kAddedKeys)) {
        DeleteTreeInView(entry.first, entry.second);
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, Guarded(kAddedKeys).c_str());
}

std::string TextValue(HKEY key, const char* name) {
    char text[2048] = {};
    DWORD size = sizeof(text) - 1;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) {
        return "";
    }
    return text;
}

void PutBackMachineValues() {
    const std::string noted = Guarded(kMachineValues);
    for (const std::string& entryName : SubkeyNames(noted)) {
        HKEY entry, target;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (noted + "\\" + entryName).c_str(), 0, KEY_READ, &entry) !=
            ERROR_SUCCESS) {
            continue;
        }
        const std::string subKey = TextValue(entry, "key"), name = TextValue(entry, "name");
        if (!subKey.empty() &&
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_SET_VALUE, &target) == ERROR_SUCCESS) {
            static BYTE data[65536];
            DWORD type = 0, size = sizeof(data);
            if (RegQueryValueExA(entry, kSavedCopy, nullptr, &type, data, &size) == ERROR_SUCCESS) {
                RegSetValueExA(target, name.c_str(), 0, type, data, size);
            } else {
                RegDeleteValueA(target, name.c_str());
            }
            RegCloseKey(target);
        }
        RegCloseKey(entry);
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, noted.c_str());
}

// Puts back the state the guard key holds; false when there is none.
bool PutBack() {
    if (!MachineKeyExists(kGuardKey)) return false;
    RemoveAddedFiles();
    PutBackMachineValues();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kInfKey);
    if (MachineKeyExists(Guarded(kSavedInf))) CopyKey(Guarded(kSavedInf), kInfKey);
    DeleteNotedClasses();
    PutBackUserClasses();
    return true;
}

}  // namespace

bool MachineKeyExists(const std::string& subKey) { return KeyExists(HKEY_LOCAL_MACHINE, subKey); }
bool UserKeyExists(const std::string& subKey) { return KeyExists(HKEY_CURRENT_USER, subKey); }

void NoteAddedFile(const std::string& path) { Note(kAddedFiles, path, 0); }
void NoteAddedFolder(const std::string& path) { Note(kAddedFiles, path, 1); }
void NoteAddedMachineKey(const std::string& subKey, unsigned long view) { Note(kAddedKeys, subKey, view); }

bool NoteMachineValue(const std::string& subKey, const std::string& name) {
    const std::string noted = Guarded(kMachineValues);
    const std::vector<std::string> entries = SubkeyNames(noted);
    for (const std::string& entryName : entries) {
        HKEY entry;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (noted + "\\" + entryName).c_str(), 0, KEY_READ, &entry) !=
            ERROR_SUCCESS) {
            continue;
        }
        const bool same = lstrcmpiA(TextValue(entry, "key").c_str(), subKey.c_str()) == 0 &&
                          lstrcmpiA(TextValue(entry, "name").c_str(), name.c_str()) == 0;
        RegCloseKey(entry);
        if (same) return true;  // saved before this test first changed it
    }
    HKEY entry, source;
    const std::string entryKey = noted + "\\" + std::to_string(entries.size());
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, entryKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &entry,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool kept = true;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ, &source) == ERROR_SUCCESS) {
        static BYTE data[65536];
        DWORD type = 0, size = sizeof(data);
        LONG status = RegQueryValueExA(source, name.c_str(), nullptr, &type, data, &size);
        if (status == ERROR_SUCCESS) {
            kept = RegSetValueExA(entry, kSavedCopy, 0, type, data, size) == ERROR_SUCCESS;
        } else {
            kept = status == ERROR_FILE_NOT_FOUND;
        }
        RegCloseKey(source);
    }
    // Written last: an entry without them puts nothing back.
    kept = kept && RegSetValueExA(entry, "name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                                  static_cast<DWORD>(name.size() + 1)) == ERROR_SUCCESS;
    kept = kept && RegSetValueExA(entry, "key", 0, REG_SZ, reinterpret_cast<const BYTE*>(subKey.c_str()),
                                  static_cast<DWORD>(subKey.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(entry);
    return kept;
}

namespace {

void Describe(HKEY key, const std::string& path, std::string* out) {
    char name[512];
    BYTE data[4096];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = sizeof(name), type = 0, size = sizeof(data);
        if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        char head[64];
        std::snprintf(head, sizeof(head), "] type %lu, %lu bytes: ", static_cast<unsigned long>(type),
                      static_cast<unsigned long>(size));
        *out += path + " [" + name + head;
        for (DWORD b = 0; b < size; ++b) {
            char hex[4];
            std::snprintf(hex, sizeof(hex), "%02x", data[b]);
            *out += hex;
        }
        *out += "\n";
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        *out += path + "\\" + name + "\n";
        Describe(child, path + "\\" + name, out);
        RegCloseKey(child);
    }
}

}  // namespace

bool GuardRegistration(std::string* error) {
    PutBack();  // what a killed run left
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kGuardKey);
    HKEY guard;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGuardKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &guard, nullptr);
    if (status != ERROR_SUCCESS) {
        *error = "creating HKLM\\" + std::string(kGuardKey) + ": error " + std::to_string(status);
        return false;
    }
    RegCloseKey(guard);
    if (MachineKeyExists(kInfKey)) {
        status = CopyKey(kInfKey, Guarded(kSavedInf));
        if (status != ERROR_SUCCESS) {
            *error = "copying HKLM\\" + std::string(kInfKey) + ": error " + std::to_string(status);
            return false;
        }
    }
    return true;
}

void NoteClassKey(const std::string& classKey) { Note(kNotedClasses, classKey, 0); }

bool NoteUserClassKey(const std::string& classKey) {
    const std::string noted = Guarded(kNotedUserClasses) + "\\" + classKey;
    if (MachineKeyExists(noted)) return true;  // saved before this test first changed it
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, noted.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    const std::string userKey = std::string(kClassesKey) + "\\" + classKey;
    if (!KeyExists(HKEY_CURRENT_USER, userKey)) return true;
    if (CopyKey(HKEY_CURRENT_USER, userKey, HKEY_LOCAL_MACHINE, noted + "\\" + kSavedCopy) == ERROR_SUCCESS) {
        return true;
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, noted.c_str());  // putting back nothing would delete the user's key
    return false;
}

void RestoreRegistration() { PutBack(); }

void ReleaseRegistration() {
    PutBack();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kGuardKey);
}

std::string DescribeInfKeys() {
    std::string out;
    const struct {
        HKEY root;
        const char* name;
    } roots[] = {{HKEY_LOCAL_MACHINE, "HKLM"}, {HKEY_CURRENT_USER, "HKCU"}};
    for (const auto& root : roots) {
        const std::string path = std::string(root.name) + "\\" + kInfKey;
        HKEY key;
        if (RegOpenKeyExA(root.root, kInfKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            out += "(no " + path + ")\n";
            continue;
        }
        out += path + "\n";
        Describe(key, path, &out);
        RegCloseKey(key);
    }
    return out;
}
