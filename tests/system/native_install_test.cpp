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
    return UnderWow64() ? WindowsFolder() + "\\Sysnative" : SystemFolder();
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

const char kValueKey[] = "Software\\Tavrel Native Test";

// The native places of an install's files, and under WOW64 also the 32-bit
// places, which must stay empty.
std::vector<std::string> InstallPlaces(std::vector<std::string> native, const std::vector<std::string>& wow64) {
    if (UnderWow64()) native.insert(native.end(), wow64.begin(), wow64.end());
    return native;
}

// What an install of the test adds goes after it, also after a killed run:
// noted before the install, deleted now when an earlier one left it.
void RemoveInstalled(const char* valueKey, const std::vector<std::string>& files) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        NoteAddedMachineKey(valueKey, view);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, valueKey, view, 0);
    }
    for (const std::string& path : files) {
        // The install makes its product folder (Program Files\Tavrel ...),
        // never the system folders it copies into.
        const std::string folder = path.substr(0, path.find_last_of('\\'));
        if (folder.find("\\Tavrel ") != std::string::npos) NoteAddedFolder(folder);
        NoteAddedFile(path);
        DeleteFileA(path.c_str());
    }
}

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

    void RemoveTraces() { RemoveInstalled(kValueKey, Places()); }

    // Native places first, then the 32-bit ones that must stay empty.
    std::vector<std::string> Places() const {
        return InstallPlaces({NativeSystemFolder() + "\\tavrel-native-sys.txt",
                              NativeProgramFiles() + "\\Tavrel Native Test\\tavrel-native-pf.txt"},
                             {Folder(GetSystemWow64DirectoryA) + "\\tavrel-native-sys.txt",
                              EnvironmentValue("ProgramFiles(x86)") + "\\Tavrel Native Test\\tavrel-native-pf.txt"});
    }
};

TEST_P(NativeInstall, LandsInTheNativePlaces) {
    const InstallCase& c = GetParam();
    WriteFileBytes(caseDir_ + "native.inf", kNativeInf);
    WriteFileBytes(caseDir_ + "tavrel-native-sys.txt", "system folder\r\n");
    WriteFileBytes(caseDir_ + "tavrel-native-pf.txt", "Program Files\r\n");
    std::string command = WithSystemFolder(c.command);
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
    // {system} is the system folder as 32-bit programs name it (system32).
    {"FullPath", "{system}\\rundll32.exe setupapi,InstallHinfSection DefaultInstall 132 %1", REG_SZ},
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
    void Place(const std::string& from, const std::string& to) {
        ASSERT_TRUE(PlaceOutside(from, to)) << "copying to " << to;
    }
    void ExpectRan(const std::string& module) {
        std::vector<RecorderRun> runs = Recorded();
        ASSERT_EQ(1u, runs.size()) << "the installer should have run once";
        EXPECT_EQ(0, lstrcmpiA(module.c_str(), runs[0].module.c_str()))
            << "expected " << module << ", ran " << runs[0].module;
        EXPECT_EQ("\"C:\\d\\x.inf\"", runs[0].arguments);
    }
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
    ExpectRan(SystemFolder() + "\\tavrel-rec64.exe");
}

TEST_F(InstallerPlace, ThirtyTwoBitOnlyProgramStillRuns) {
    // GetSystemDirectoryA's folder is where a 32-bit program's files land:
    // syswow64 under WOW64.
    Place(recorderPath_, SystemFolder() + "\\tavrel-rec32.exe");
    RegisterInstallCommand(StringValue(kTestClass),
                           TypedValue(REG_EXPAND_SZ, std::string("%SystemRoot%\\System32\\tavrel-rec32.exe \"%1\"") +
                                                         std::string(1, '\0')));
    RunResult run = RunTavrel("C:\\d\\x.inf");
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectRan(SystemFolderSeenByItsPrograms() + "\\tavrel-rec32.exe");
}

TEST_F(InstallerPlace, ProgramFilesMeansTheNativeOne) {
    std::string native = NativeProgramFiles() + "\\Tavrel Test";
    MakeFolderOutside(native);
    Place(recorderPath_, native + "\\rec.exe");
    if (UnderWow64()) {
        std::string x86 = EnvironmentValue("ProgramFiles(x86)") + "\\Tavrel Test";
        MakeFolderOutside(x86);
        Place(recorderPath_, x86 + "\\rec.exe");
    }
    RegisterInstallCommand(StringValue(kTestClass),
                           TypedValue(REG_EXPAND_SZ, std::string("\"%ProgramFiles%\\Tavrel Test\\rec.exe\" \"%1\"") +
                                                         std::string(1, '\0')));
    RunResult run = RunTavrel("C:\\d\\x.inf");
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectRan(native + "\\rec.exe");
}

// The demo package, installed through a registration as a system has it:
// the machine's own, untouched (Wine's rundll32 setupapi,InstallHinfSection
// in the lab; on Windows InfDefaultInstall.exe, with the rights Windows
// gives on its keys), and the one Windows ships, written by the test. It
// lands where a native install puts it.
struct DemoCase {
    const char* name;
    const char* command;  // REG_EXPAND_SZ; null: the machine's own registration
    bool windowsOnly;
};

class DemoInstall : public SystemTest, public ::testing::WithParamInterface<DemoCase> {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        RemoveInstalled(kDemoKey, Places());
    }
    void TearDown() override {
        RemoveInstalled(kDemoKey, Places());
        SystemTest::TearDown();
    }
    std::vector<std::string> Places() const {
        return InstallPlaces({NativeProgramFiles() + "\\Tavrel Demo\\tavrel-demo.txt"},
                             {EnvironmentValue("ProgramFiles(x86)") + "\\Tavrel Demo\\tavrel-demo.txt"});
    }
    static constexpr const char* kDemoKey = "Software\\Tavrel Demo";
};

TEST_P(DemoInstall, LandsInTheNativePlaces) {
    const DemoCase& c = GetParam();
    if (c.windowsOnly && UnderWine()) {
        GTEST_SKIP() << "Wine 8 has no InfDefaultInstall.exe (it registers rundll32 "
                        "setupapi,InstallHinfSection, the case MachinesOwnRegistration installs with)";
    }
    ASSERT_TRUE(CopyInto(DemoSourceDir() + "demo.inf", caseDir_ + "demo.inf"));
    ASSERT_TRUE(CopyInto(DemoSourceDir() + "tavrel-demo.txt", caseDir_ + "tavrel-demo.txt"));
    if (c.command != nullptr) {
        RegisterInstallCommand(StringValue(kTestClass),
                               TypedValue(REG_EXPAND_SZ, c.command + std::string(1, '\0')));
    }

    RunResult run = RunTavrel("\"%EXEPATH%demo.inf\"", 60000);
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectNoBox(run);
    EXPECT_EQ("demo.inf 1.0", RegistryValueIn(KEY_WOW64_64KEY, kDemoKey, "Installed")) << "the value in the 64-bit view";
    if (UnderWow64()) {
        EXPECT_EQ("(missing)", RegistryValueIn(KEY_WOW64_32KEY, kDemoKey, "Installed")) << "the value under Wow6432Node";
    }
    std::vector<std::string> places = Places();
    for (size_t i = 0; i < places.size(); ++i) {
        EXPECT_EQ(i < 1, Exists(places[i])) << places[i];
    }
}

const DemoCase kDemoCases[] = {
    {"MachinesOwnRegistration", nullptr, false},
    {"AsWindowsShipsIt", "%SystemRoot%\\System32\\InfDefaultInstall.exe \"%1\"", true},
};

INSTANTIATE_TEST_SUITE_P(Demo, DemoInstall, ::testing::ValuesIn(kDemoCases), CaseName<DemoCase>);

}  // namespace
