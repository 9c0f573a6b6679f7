// A test run that is killed after changing the .inf registration leaves the
// machine as it found it once the next run starts: the machine's and the
// user's .inf keys, their subkeys and values, no class key of the tests,
// neither the machine's nor the user's, no file it put into the Windows
// folder, and the machine's environment as it was.
#include <string>

#include "registry_guard.h"
#include "system_fixture.h"

namespace {

const char kKilledClass[] = "tavrelkilledclass";
const char kKilledUserClass[] = "tavrelkilleduserclass";
const char kProbeKey[] = "Software\\Classes\\.inf\\TavrelGuardProbe";
const char kUserInfKey[] = "Software\\Classes\\.inf";
const char kKilledVariable[] = "TAVRELKILLEDRUN";

std::string KilledRunFile() { return WindowsFolder() + "\\tavrel-killed-run.txt"; }

// The machine's value of kKilledVariable, or "(missing)".
std::string KilledVariable() { return RegistryValueIn(0, kMachineEnvironmentKey, kKilledVariable); }

// Started by the test below, never on its own: changes the registration
// the way the tests do, says so, and waits to be killed.
class RegistryGuardChild : public SystemTest {};

TEST_F(RegistryGuardChild, DISABLED_ChangesAndWaits) {
    RegisterInstallCommand(recorderPath_ + " %1");
    OwnClassKey(kKilledClass);
    RegSetValueA(HKEY_LOCAL_MACHINE, (std::string("Software\\Classes\\") + kKilledClass).c_str(), REG_SZ,
                 "left by a killed run", 0);
    SetUserClassValue(".inf", StringValue(kKilledUserClass));
    SetUserClassValue(std::string(kKilledUserClass) + "\\shell\\Install\\command",
                      StringValue("left by a killed run"));
    NoteAddedFile(KilledRunFile());
    WriteFileBytes(KilledRunFile(), "left by a killed run\r\n");
    ASSERT_TRUE(NoteMachineValue(kMachineEnvironmentKey, kKilledVariable));
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kMachineEnvironmentKey, kKilledVariable, REG_SZ, "left by a killed run", 21);
    char signal[MAX_PATH] = {};
    GetEnvironmentVariableA("TAVREL_GUARD_SIGNAL", signal, sizeof(signal));
    WriteFileBytes(signal, "changed\r\n");
    Sleep(120000);
}

TEST_F(RegistryGuardChild, DISABLED_StartsAndEnds) {}

class RegistryGuard : public SystemTest {
protected:
    void TearDown() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProbeKey);
        RegDeleteTreeA(HKEY_CURRENT_USER, userKeyMade_ ? kUserInfKey : kProbeKey);
        SystemTest::TearDown();
    }
    bool userKeyMade_ = false;  // the user had no .inf key of their own
};

TEST_F(RegistryGuard, KilledRunIsPutBackByTheNextRun) {
    // This process's own guard would put back the state before the probe.
    ReleaseRegistration();
    // A subkey of .inf, so that the whole key is compared, not only its class.
    // The user's .inf key too, which the killed run changes.
    userKeyMade_ = !UserKeyExists(kUserInfKey);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY probe;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, kProbeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &probe, nullptr));
        RegSetValueExA(probe, "Kept", 0, REG_SZ, reinterpret_cast<const BYTE*>("yes"), 4);
        RegCloseKey(probe);
    }
    const std::string before = DescribeInfKeys();
    ASSERT_EQ("(missing)", KilledVariable()) << "left by an earlier run";
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(KilledRunFile().c_str())) << "left by an earlier run";

    std::string signal = caseDir_ + "changed.txt";
    DeleteFileA(signal.c_str());
    SetEnvironmentVariableA("TAVREL_GUARD_SIGNAL", signal.c_str());
    std::string self = TestProgramPath();
    std::string command = "\"" + self + "\" --gtest_also_run_disabled_tests --gtest_filter=";
    STARTUPINFOA startup = {sizeof(startup)};
    PROCESS_INFORMATION child = {};
    std::string changer = command + "RegistryGuardChild.DISABLED_ChangesAndWaits";
    ASSERT_TRUE(CreateProcessA(self.c_str(), &changer[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &child));
    const ULONGLONG changeBy = GetTickCount64() + ScaledMs(30000);
    while (GetTickCount64() < changeBy && GetFileAttributesA(signal.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Sleep(100);
    }
    bool changed = GetFileAttributesA(signal.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::string during = DescribeInfKeys();
    TerminateProcess(child.hProcess, 0xDEAD);
    WaitForSingleObject(child.hProcess, ScaledMs(10000));
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    ASSERT_TRUE(changed) << "the child run did not change the registration within " << ScaledMs(30000) << " ms";
    EXPECT_NE(before, during) << "the child run should have changed the .inf key";
    EXPECT_TRUE(MachineKeyExists(kGuardKey)) << "a killed run leaves its guard key";
    EXPECT_TRUE(MachineKeyExists(std::string("Software\\Classes\\") + kKilledClass));
    EXPECT_TRUE(UserKeyExists(std::string("Software\\Classes\\") + kKilledUserClass));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(KilledRunFile().c_str()));
    EXPECT_EQ("left by a killed run", KilledVariable());

    RunOptions options;
    options.timeoutMs = 60000;
    RunResult next = RunProcess(self, command + "RegistryGuardChild.DISABLED_StartsAndEnds", options);
    ASSERT_TRUE(next.started && !next.timedOut) << "the next run did not end";
    EXPECT_EQ(0u, next.exitCode);

    EXPECT_EQ(before, DescribeInfKeys()) << "the next run should have put the .inf keys back whole";
    EXPECT_FALSE(MachineKeyExists(std::string("Software\\Classes\\") + kKilledClass))
        << "the killed run's class key should be gone";
    EXPECT_FALSE(UserKeyExists(std::string("Software\\Classes\\") + kKilledUserClass))
        << "the killed run's user class key should be gone";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(KilledRunFile().c_str()))
        << "the killed run's file in the Windows folder should be gone";
    EXPECT_EQ("(missing)", KilledVariable()) << "the machine's environment should be as it was";
    EXPECT_FALSE(MachineKeyExists(kGuardKey)) << "the next run drops the guard key when it ends";
}

}  // namespace
