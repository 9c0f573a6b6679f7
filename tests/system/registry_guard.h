// Keeps the machine's .inf registration whole while the tests change it.
// Before a test process changes anything, the .inf key (HKLM\Software\Classes\.inf,
// which HKEY_CLASSES_ROOT shows) is copied whole under kGuardKey, and every
// class key a test creates is noted there first; so is each of the user's
// own class keys (HKCU\Software\Classes) a test changes, with a copy of it. Each test's end puts the
// copy back and deletes the noted keys; the process's end also drops the
// guard key. A run that was killed leaves the guard key behind, and the
// next test process puts everything back from it before it starts.
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
// Puts the registration and the noted user class keys back as they were,
// and deletes the noted class keys.
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
