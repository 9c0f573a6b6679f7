// Test bed for running the real Tavrel.exe on Windows, or under Wine: a
// scratch folder per test, the registry set and restored around each test,
// and the recorder that stands in for the installer. Tavrel.exe and the
// helpers are found beside the test program (the build's windows-tests
// folder, or where tests\windows\run-tests.cmd laid them out).
#ifndef TAVREL_TESTS_SYSTEM_FIXTURE_H
#define TAVREL_TESTS_SYSTEM_FIXTURE_H

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launch_sequence.h"
#include "process_runner.h"
#include "registry_guard.h"

// One of Tavrel's exit codes as GetExitCodeProcess reports it (-2 is
// 0xFFFFFFFE).
inline DWORD ExitCodeOf(ExitCode code) { return static_cast<DWORD>(code); }

extern const char kTestRoot[];        // C:\tavrel-tests
extern const char kTestClass[];       // file class the tests register for .inf
extern const char kMachineEnvironmentKey[];  // under HKLM: the machine's environment
std::string TestRecorderPath();       // C:\tavrel-tests\bin\recorder.exe, the installer stand-in
// Tavrel's two messages. Which table's text a box shows is the system's
// choice, made by its display language (MessageText).
enum TavrelMessage {
    kNoBox = 0,
    kSetupBroken = 101,
    kOsUnsupported = 102,
};
extern const char kSetupBrokenJapanese[];       // UTF-8
extern const char kOsUnsupportedJapanese[];
extern const char kSetupBrokenEnglish[];
extern const char kOsUnsupportedEnglish[];
// The text of `message` as Tavrel shows it on this system: the Japanese
// table where the display language is Japanese, the English one elsewhere.
std::string MessageText(TavrelMessage message);

struct RecorderRun {
    std::string commandLine;  // as the recorder received it
    std::string arguments;    // what follows its program name and one space
    std::string module;       // the path of the copy that ran
    ULONGLONG started = 0;
    ULONGLONG ended = 0;
};

struct RegistryValue {
    bool present = false;
    DWORD type = REG_SZ;
    std::string data;     // bytes stored, without an added NUL
};

RegistryValue StringValue(const std::string& text);  // REG_SZ, stored with its NUL
RegistryValue TypedValue(DWORD type, const std::string& bytes);
RegistryValue Missing();

class SystemTest : public ::testing::Test {
protected:
    // The machine's .inf registration is put back after each test, also
    // after a killed run (registry_guard.h).
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Registers `infClass` as the default value of the machine's .inf key
    // (HKLM\Software\Classes\.inf; Missing() deletes the key) and `command`
    // as the install command of kTestClass.
    void RegisterInstallCommand(const RegistryValue& infClass, const RegistryValue& command);
    void RegisterInstallCommand(const std::string& command);
    // The same with the command under `classKey` (the key the class names).
    void RegisterInstallCommandUnder(const std::string& classKey, const RegistryValue& infClass,
                                     const RegistryValue& command);

    // Sets the default value of HKCU\Software\Classes\subKey, as any
    // program of the user can; the user's key is put back after the test.
    void SetUserClassValue(const std::string& subKey, const RegistryValue& value);

    // Copies Tavrel.exe into `folder` (created) and runs it with `argument`
    // after its quoted path. Returns the run; recorder runs are in Recorded().
    RunResult RunTavrel(const std::string& argument, DWORD timeoutMs = 20000);
    RunResult RunTavrelIn(const std::string& folder, const std::string& argument,
                          DWORD timeoutMs = 20000);
    RunResult RunRawCommandLine(const std::string& exePath, const std::string& commandLine,
                                DWORD timeoutMs = 20000);
    // Copies Tavrel.exe into `folder` (created) and returns its path there.
    std::string PlaceTavrel(const std::string& folder);

    std::vector<RecorderRun> Recorded() const;
    // The argument as any process started with it reads it back: the system
    // keeps command lines in Unicode, so bytes that are no character of the
    // ANSI code page do not come through unchanged.
    std::string ArgumentAsReceived(const std::string& argument);
    void SetRecorderBehaviour(DWORD sleepMs, DWORD exitCode);
    // The recorder ran once and got `arguments` after its own name.
    void ExpectRecorderGot(const std::string& arguments) const;
    void ExpectNothingLaunched() const;

    std::string caseDir_;       // C:\tavrel-tests\<test>\ (trailing separator)
    std::string recorderPath_;  // C:\tavrel-tests\bin\recorder.exe
    std::string recorderLog_;
    // A machine class key (HKLM\Software\Classes) the test is about to
    // create: deleted after the test, or by the next run when this one is
    // killed.
    void OwnClassKey(const std::string& classKey);
    std::vector<std::string> classKeys_;  // created by the test, deleted after it
};

void ExpectNoBox(const RunResult& run);
void ExpectOneBox(const RunResult& run, const std::string& text);
void ExpectOneBox(const RunResult& run, TavrelMessage message);
// kNoBox, or one box with the message's text.
void ExpectBoxes(const RunResult& run, TavrelMessage message);

// Names a parameterized case after its `name` field.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// The files laid out beside the test program.
std::string TestProgramPath();       // the running test program
std::string TestFilesDir();          // with its final separator
std::string TavrelExeSourcePath();
std::string RecorderSourcePath();
std::string Recorder64SourcePath();  // the recorder built for 64-bit Windows
std::string DdeServerSourcePath();   // a program that opens documents through DDE
std::string DemoSourceDir();
// Windows keeps three settings apart: the display language (which picks
// the string table Tavrel's messages come from), the ANSI code page (which
// decides the bytes of every path) and the regional formats, which no case
// needs. A case that needs a setting the system does not have is skipped
// with this reason; these give "" when the system has it:
std::string WithoutDisplayLanguage(const char* language);  // e.g. "ja-JP"
std::string WithoutCodePage(UINT codePage);                // e.g. 932
// Skips the current case with `reason`, or, where the run requires the
// setting (TAVREL_TESTS_REQUIRE_LOCALE=1: the Wine prefixes made for each
// locale), fails it.
#define SKIP_FOR_LOCALE(reason)                                                     \
    do {                                                                            \
        const std::string tavrel_reason = (reason);                                 \
        if (tavrel_reason.empty()) break;                                           \
        if (LocaleRequired()) FAIL() << tavrel_reason << ", which this run requires"; \
        GTEST_SKIP() << tavrel_reason;                                              \
    } while (false)
bool LocaleRequired();
bool UnderWow64();  // a 32-bit program on 64-bit Windows, as Tavrel is
bool UnderWine();   // Wine's ntdll, which has no per-user classes
std::string WindowsFolder();  // GetWindowsDirectoryA
std::string SystemFolder();   // GetSystemDirectoryA: system32, as 32-bit programs name it
// `command` with {system} in place of SystemFolder().
std::string WithSystemFolder(std::string command);
// Where the files a 32-bit program puts into GetSystemDirectoryA's folder
// really are (syswow64 under WOW64), as a program started from there sees it.
std::string SystemFolderSeenByItsPrograms();
std::string EnvironmentValue(const char* name);
// Program Files of the native system: ProgramW6432 under WOW64.
std::string NativeProgramFiles();
// A string value of HKLM\subKey in a registry view (KEY_WOW64_64KEY or
// KEY_WOW64_32KEY; one view on 32-bit Windows), or "(missing)".
std::string RegistryValueIn(REGSAM view, const char* subKey, const char* name);
inline std::string NativeRegistryValue(const char* subKey, const char* name) {
    return RegistryValueIn(KEY_WOW64_64KEY, subKey, name);
}
bool CopyInto(const std::string& from, const std::string& to);
// Copies a file, or makes a folder, outside the tests' folder (system
// folders, Program Files): noted first, so that it goes after the test,
// also after a killed run (registry_guard.h).
bool PlaceOutside(const std::string& from, const std::string& to);
void MakeFolderOutside(const std::string& folder);
// The bytes of a helper's log field, which it writes in hex.
std::string FromHex(const std::string& hex);
void WriteFileBytes(const std::string& path, const std::string& bytes);

#endif
