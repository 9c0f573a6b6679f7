// What an install changes lands where a native install puts it: on 64-bit
// Windows the 64-bit installer runs, so registry values go to the 64-bit
// view, files to the native system folder and the native Program Files. The
// same cases hold on 32-bit Windows, where there is one view and one folder.
#include <string>

#include "system_fixture.h"

namespace {

std::string Folder(UINT (WINAPI* get)(LPSTR, UINT)) {
    char path[MAX_PATH] = {};
    UINT length = get(path, sizeof(path));
    return length > 0 && length < sizeof(path) ? path : "";
}

// The native system folder as a 32-bit test program reaches it.
std::string NativeSystemFolder() {
    return UnderWow64() ? Folder(GetWindowsDirectoryA) + "\\Sysnative" : Folder(GetSystemDirectoryA);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

const char kValueKey[] = "Software\\Tavrel Native Test";

std::string ValueIn(REGSAM view) { return RegistryValueIn(view, kValueKey, "Installed"); }

// Adds a value under HKLM\Software, copies one file to the system folder
// (DestinationDirs 11) and one to Program Files (16422).
const char kNativeInf[] =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "[DefaultInstall]\r\n"
    "AddReg=Native.AddReg\r\n"
    "CopyFiles=Native.System,Native.ProgramFiles\r\n"
    "[DestinationDirs]\r\n"
    "Native.System=11\r\n"
    "Native.ProgramFiles=16422,\"Tavrel Native Test\"\r\n"
    "[SourceDisksNames]\r\n"
    "1=\"Tavrel test files\",,,\r\n"
    "[SourceDisksFiles]\r\n"
    "tavrel-native-sys.txt=1\r\n"
    "tavrel-native-pf.txt=1\r\n"
    "[Native.System]\r\n"
    "tavrel-native-sys.txt\r\n"
    "[Native.ProgramFiles]\r\n"
    "tavrel-native-pf.txt\r\n"
    "[Native.AddReg]\r\n"
    "HKLM,\"Software\\Tavrel Native Test\",\"Installed\",0x00000000,\"native.inf\"\r\n";

struct InstallCase {
    const char* name;
    const char* command;
    DWORD type;
};

class NativeInstall : public SystemTest, public ::testing::WithParamInterface<InstallCase> {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        RemoveTraces();
    }
    void TearDown() override {
        RemoveTraces();
        SystemTest::TearDown();
    }

    void RemoveTraces() {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kValueKey, KEY_WOW64_64KEY, 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kValueKey, KEY_WOW64_32KEY, 0);
        for (const std::string& path : Places()) DeleteFileA(path.c_str());
    }

    // Native places first, then the 32-bit ones that must stay empty.
    std::vector<std::string> Places() const {
        std::vector<std::string> places = {NativeSystemFolder() + "\\tavrel-native-sys.txt",
                                           NativeProgramFiles() + "\\Tavrel Native Test\\tavrel-native-pf.txt"};
        if (UnderWow64()) {
            places.push_back(Folder(GetSystemWow64DirectoryA) + "\\tavrel-native-sys.txt");
            places.push_back(EnvironmentValue("ProgramFiles(x86)") + "\\Tavrel Native Test\\tavrel-native-pf.txt");
        }
        return places;
    }
};

TEST_P(NativeInstall, LandsInTheNativePlaces) {
    const InstallCase& c = GetParam();
    WriteFileBytes(caseDir_ + "native.inf", kNativeInf);
    WriteFileBytes(caseDir_ + "tavrel-native-sys.txt", "system folder\r\n");
    WriteFileBytes(caseDir_ + "tavrel-native-pf.txt", "Program Files\r\n");
    std::string command = c.command;
    RegisterInstallCommand(StringValue(kTestClass), TypedValue(c.type, command + std::string(1, '\0')));

    RunResult run = RunTavrel("\"%EXEPATH%native.inf\"");
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectNoBox(run);

    EXPECT_EQ("native.inf", ValueIn(KEY_WOW64_64KEY)) << "the value in the 64-bit view";
    if (UnderWow64()) {
        EXPECT_EQ("(missing)", ValueIn(KEY_WOW64_32KEY)) << "the value under Wow6432Node";
    }
    std::vector<std::string> places = Places();
    for (size_t i = 0; i < places.size(); ++i) {
        EXPECT_EQ(i < 2, Exists(places[i])) << places[i];
    }
}

const InstallCase kInstallCases[] = {
    {"AsWineRegistersIt",
     "C:\\windows\\system32\\rundll32.exe setupapi,InstallHinfSection DefaultInstall 132 %1", REG_SZ},
    {"AsWindowsRegistersIt",
     "%SystemRoot%\\System32\\rundll32.exe setupapi,InstallHinfSection DefaultInstall 132 %1",
     REG_EXPAND_SZ},
    {"BareName", "rundll32.exe setupapi,InstallHinfSection DefaultInstall 132 %1", REG_SZ},
};

INSTANTIATE_TEST_SUITE_P(Native, NativeInstall, ::testing::ValuesIn(kInstallCases),
                         CaseName<InstallCase>);

// Installers that exist only in one of the two system folders, and one in
// Program Files: each is found and started.
class InstallerPlace : public SystemTest {
protected:
    void TearDown() override {
        for (const std::string& path : placed_) DeleteFileA(path.c_str());
        SystemTest::TearDown();
    }
    void Place(const std::string& from, const std::string& to) {
        ASSERT_TRUE(CopyInto(from, to)) << "copying to " << to;
        placed_.push_back(to);
    }
    void ExpectRan(const std::string& module) {
        std::vector<RecorderRun> runs = Recorded();
        ASSERT_EQ(1u, runs.size()) << "the installer should have run once";
        EXPECT_EQ(0, lstrcmpiA(module.c_str(), runs[0].module.c_str()))
            << "expected " << module << ", ran " << runs[0].module;
        EXPECT_EQ("\"C:\\d\\x.inf\"", runs[0].arguments);
    }
    std::vector<std::string> placed_;
};

TEST_F(InstallerPlace, NativeOnlyProgramIsFound) {
    if (!UnderWow64()) GTEST_SKIP() << "32-bit Windows has no folder only native programs see";
    Place(Recorder64SourcePath(), NativeSystemFolder() + "\\tavrel-rec64.exe");
    RegisterInstallCommand(StringValue(kTestClass),
                           TypedValue(REG_EXPAND_SZ, std::string("%SystemRoot%\\System32\\tavrel-rec64.exe \"%1\"") +
                                                         std::string(1, '\0')));
    RunResult run = RunTavrel("C:\\d\\x.inf");
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    // The native program sees its own folder as system32.
    ExpectRan(Folder(GetSystemDirectoryA) + "\\tavrel-rec64.exe");
}

TEST_F(InstallerPlace, ThirtyTwoBitOnlyProgramStillRuns) {
    // GetSystemDirectoryA's folder is where a 32-bit program's files land:
    // syswow64 under WOW64.
    Place(recorderPath_, Folder(GetSystemDirectoryA) + "\\tavrel-rec32.exe");
    RegisterInstallCommand(StringValue(kTestClass),
                           TypedValue(REG_EXPAND_SZ, std::string("%SystemRoot%\\System32\\tavrel-rec32.exe \"%1\"") +
                                                         std::string(1, '\0')));
    RunResult run = RunTavrel("C:\\d\\x.inf");
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectRan(SystemFolderSeenByItsPrograms() + "\\tavrel-rec32.exe");
}

TEST_F(InstallerPlace, ProgramFilesMeansTheNativeOne) {
    std::string native = NativeProgramFiles() + "\\Tavrel Test";
    CreateDirectoryA(native.c_str(), nullptr);
    Place(recorderPath_, native + "\\rec.exe");
    if (UnderWow64()) {
        std::string x86 = EnvironmentValue("ProgramFiles(x86)") + "\\Tavrel Test";
        CreateDirectoryA(x86.c_str(), nullptr);
        Place(recorderPath_, x86 + "\\rec.exe");
    }
    RegisterInstallCommand(StringValue(kTestClass),
                           TypedValue(REG_EXPAND_SZ, std::string("\"%ProgramFiles%\\Tavrel Test\\rec.exe\" \"%1\"") +
                                                         std::string(1, '\0')));
    RunResult run = RunTavrel("C:\\d\\x.inf");
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectRan(native + "\\rec.exe");
}

}  // namespace
