// Keeps the machine whole while the tests change it: they run as an
// administrator on a real machine, and may be killed midway.
// Before a test process changes anything, the .inf key (HKLM\Software\Classes\.inf,
// which HKEY_CLASSES_ROOT shows) is copied whole under kGuardKey, and every
// class key a test creates is noted there first; so is each of the user's
// own class keys (HKCU\Software\Classes) a test changes, with a copy of it,
// each machine value a test changes, with a copy of it, and each file,
// folder and key a test or an install it starts is about to add outside the
// tests' own folder (system folders, Program Files, HKLM\Software). Each
// test's end puts the copies back and deletes what was noted; the
// process's end also drops the guard key. A run that was killed leaves the
// guard key behind, and the next test process puts everything back from it
// before it starts.
#ifndef TAVREL_TESTS_REGISTRY_GUARD_H
#define TAVREL_TESTS_REGISTRY_GUARD_H

#include <string>

extern const char kGuardKey[];  // under HKEY_LOCAL_MACHINE

// Puts back what a killed run left, then copies the current registration.
// Returns false (with the reason in *error) when it cannot.
bool GuardRegistration(std::string* error);
// Notes a class key (under Software\Classes) a test is about to create.
void NoteClassKey(const std::string& classKey);
// Notes a user class key (under HKCU\Software\Classes) a test is about to
// change, and copies it when it exists. False when it cannot be kept safe.
bool NoteUserClassKey(const std::string& classKey);
// Notes a file a test (or an install it starts) is about to put outside
// the tests' folder, as this process names it.
void NoteAddedFile(const std::string& path);
// Notes a folder likewise; removed after the noted files, when empty.
void NoteAddedFolder(const std::string& path);
// Notes a key of HKLM an install is about to add, in the registry view
// `view` (KEY_WOW64_64KEY or KEY_WOW64_32KEY).
void NoteAddedMachineKey(const std::string& subKey, unsigned long view);
// Copies the value `name` of HKLM\subKey (or notes that there is none)
// before a test changes it. False when it cannot be kept safe.
bool NoteMachineValue(const std::string& subKey, const std::string& name);
// Puts the registration, the noted user class keys and machine values back
// as they were, and deletes the noted class keys, files, folders and keys.
void RestoreRegistration();
// Puts everything back and drops the guard key.
void ReleaseRegistration();
// Whether HKLM\subKey, or HKCU\subKey, exists.
bool MachineKeyExists(const std::string& subKey);
bool UserKeyExists(const std::string& subKey);
// The machine's and the user's .inf keys, their subkeys and values, as
// text: to compare states.
std::string DescribeInfKeys();

#endif
