#include "registry_guard.h"

#include <windows.h>

#include <cstdio>

const char kGuardKey[] = "Software\\Tavrel Tests\\Registration Guard";

namespace {

const char kInfKey[] = "Software\\Classes\\.inf";
const char kClassesKey[] = "Software\\Classes";
const char kSavedInf[] = "inf";          // the copy of the .inf key, when it existed
const char kNotedClasses[] = "classes";  // a value per class key a test created
// A key per user class key a test changes, holding under kSavedCopy the
// user's own key as it was, when there was one.
const char kNotedUserClasses[] = "user classes";
const char kSavedCopy[] = "saved";

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

void DeleteNotedClasses() {
    HKEY noted;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, Guarded(kNotedClasses).c_str(), 0, KEY_READ, &noted) !=
        ERROR_SUCCESS) {
        return;
    }
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof(name);
        if (RegEnumValueA(noted, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (length > 0) RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kClassesKey) + "\\" + name).c_str());
    }
    RegCloseKey(noted);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, Guarded(kNotedClasses).c_str());
}

void PutBackUserClasses() {
    const std::string noted = Guarded(kNotedUserClasses);
    HKEY list;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, noted.c_str(), 0, KEY_READ, &list) != ERROR_SUCCESS) return;
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(list, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::string userKey = std::string(kClassesKey) + "\\" + name;
        const std::string saved = noted + "\\" + name + "\\" + kSavedCopy;
        RegDeleteTreeA(HKEY_CURRENT_USER, userKey.c_str());
        if (KeyExists(HKEY_LOCAL_MACHINE, saved)) CopyKey(HKEY_LOCAL_MACHINE, saved, HKEY_CURRENT_USER, userKey);
    }
    RegCloseKey(list);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, noted.c_str());
}

// Puts back the state the guard key holds; false when there is none.
bool PutBack() {
    if (!MachineKeyExists(kGuardKey)) return false;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kInfKey);
    if (MachineKeyExists(Guarded(kSavedInf))) CopyKey(Guarded(kSavedInf), kInfKey);
    DeleteNotedClasses();
    PutBackUserClasses();
    return true;
}

}  // namespace

bool MachineKeyExists(const std::string& subKey) { return KeyExists(HKEY_LOCAL_MACHINE, subKey); }
bool UserKeyExists(const std::string& subKey) { return KeyExists(HKEY_CURRENT_USER, subKey); }

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

void NoteClassKey(const std::string& classKey) {
    HKEY noted;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, Guarded(kNotedClasses).c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &noted, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(noted, classKey.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
    RegCloseKey(noted);
}

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
