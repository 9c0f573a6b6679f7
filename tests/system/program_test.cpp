// Where the program part of the install command ends, how Tavrel waits for
// it, and the real installer of the prefix.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "system_fixture.h"

namespace {

const ULONGLONG kTicksPerMs = 10000;

std::string RootPath(const std::string& relative) { return std::string(kTestRoot) + "\\" + relative; }

// Installs copies of the recorder where the resolution must find (or not
// find) them, and removes them afterwards.
class ProgramPathTest : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        CreateDirectoryA(RootPath("Vendor").c_str(), nullptr);  // a folder that must not be run
        CreateDirectoryA(RootPath("Vendor Tools").c_str(), nullptr);
        ASSERT_TRUE(CopyInto(recorderPath_, RootPath("Vendor Tools\\setup.exe")));
        ASSERT_TRUE(PlaceOutside(recorderPath_, WindowsFolder() + "\\tavrel-recorder.exe"));
    }
};

struct ProgramCase {
    const char* name;
    const char* command;
    const char* expectedArguments;
};

class ProgramTable : public ProgramPathTest, public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(ProgramTable, FindsTheProgram) {
    RegisterInstallCommand(GetParam().command);
    RunResult run = RunTavrel("C:\\d\\x.inf");
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectNoBox(run);
    ExpectRecorderGot(GetParam().expectedArguments);
}

const ProgramCase kProgramCases[] = {
    // C:\tavrel-tests\Vendor is a folder: the search finds it, but it is no program.
    {"UnquotedPathWithSpaces", "C:\\tavrel-tests\\Vendor Tools\\setup.exe %1 /q", "C:\\d\\x.inf /q"},
    {"QuotedPathWithSpaces", "\"C:\\tavrel-tests\\Vendor Tools\\setup.exe\" \"%1\"", "\"C:\\d\\x.inf\""},
    {"SystemRootExpanded", "%SystemRoot%\\tavrel-recorder.exe %1", "C:\\d\\x.inf"},
    {"QuotedSystemRootExpanded", "\"%SystemRoot%\\tavrel-recorder.exe\" %1", "C:\\d\\x.inf"},
    {"BareNameInTheWindowsFolder", "tavrel-recorder.exe %1", "C:\\d\\x.inf"},
    {"ProgramWithoutParameters", "C:\\tavrel-tests\\Vendor Tools\\setup.exe", ""},
};

INSTANTIATE_TEST_SUITE_P(Program, ProgramTable, ::testing::ValuesIn(kProgramCases),
                         CaseName<ProgramCase>);

// A command naming only a folder launches nothing: opening the folder would
// show a window and keep Tavrel waiting on it.
TEST_F(ProgramPathTest, FolderIsNeverOpened) {
    RegisterInstallCommand("C:\\tavrel-tests\\Vendor %1");
    RunResult run = RunTavrel("C:\\d\\x.inf", 10000);
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectNoBox(run);
    ExpectNothingLaunched();
}

// Tavrel runs elevated from a downloads folder: a file named like the
// installer beside it, in the current folder or in a folder the user's
// environment names must never run in place of the registered one.
struct PlantCase {
    const char* name;
    const char* command;  // %1 stands for the .inf path
    DWORD type;
    bool realInstallerPresent;
};

class PlantedInstaller : public SystemTest, public ::testing::WithParamInterface<PlantCase> {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        realInstaller_ = SystemFolder() + "\\tinst.exe";
        NoteAddedFile(realInstaller_);
        DeleteFileA(realInstaller_.c_str());
        const std::string cwd = caseDir_ + "cwd\\";
        for (const std::string& folder : {caseDir_ + "tools", cwd, cwd + "tools", caseDir_ + "win",
                                          caseDir_ + "win\\System32"}) {
            CreateDirectoryA(folder.c_str(), nullptr);
        }
        for (const std::string& planted :
             {caseDir_ + "tinst.exe", caseDir_ + "tools\\tinst.exe", cwd + "tinst.exe",
              cwd + "tools\\tinst.exe", caseDir_ + "win\\System32\\tinst.exe"}) {
            ASSERT_TRUE(CopyInto(recorderPath_, planted)) << "planting " << planted;
        }
        GetCurrentDirectoryA(sizeof(savedCwd_), savedCwd_);
        SetCurrentDirectoryA(cwd.c_str());
        GetEnvironmentVariableA("windir", savedWindir_, sizeof(savedWindir_));
        SetEnvironmentVariableA("windir", (caseDir_ + "win").c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("windir", savedWindir_);
        SetCurrentDirectoryA(savedCwd_);
        SystemTest::TearDown();
    }

    std::string realInstaller_;
    char savedCwd_[MAX_PATH] = {};
    char savedWindir_[MAX_PATH] = {};
};

TEST_P(PlantedInstaller, OnlyTheRegisteredInstallerRuns) {
    const PlantCase& c = GetParam();
    if (c.realInstallerPresent) {
        ASSERT_TRUE(CopyInto(recorderPath_, realInstaller_)) << "installing " << realInstaller_;
    }
    std::string command = WithSystemFolder(c.command);
    RegisterInstallCommand(StringValue(kTestClass), TypedValue(c.type, command + std::string(1, '\0')));
    RunResult run = RunTavrel("C:\\d\\x.inf");
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectNoBox(run);
    std::vector<RecorderRun> runs = Recorded();
    if (!c.realInstallerPresent) {
        ExpectNothingLaunched();
        return;
    }
    ASSERT_EQ(1u, runs.size()) << "the registered installer should have run once";
    std::string expected = SystemFolderSeenByItsPrograms() + "\\tinst.exe";
    EXPECT_EQ(0, lstrcmpiA(expected.c_str(), runs[0].module.c_str()))
        << "expected " << expected << ", ran " << runs[0].module;
    EXPECT_EQ("\"C:\\d\\x.inf\"", runs[0].arguments);
}

const PlantCase kPlantCases[] = {
    // {system} is the system folder as 32-bit programs name it (system32).
    {"FullPath", "{system}\\tinst.exe \"%1\"", REG_SZ, true},
    {"FullPathMissing", "{system}\\tinst.exe \"%1\"", REG_SZ, false},
    {"SystemRoot", "%SystemRoot%\\System32\\tinst.exe \"%1\"", REG_EXPAND_SZ, true},
    {"SystemRootMissing", "%SystemRoot%\\System32\\tinst.exe \"%1\"", REG_EXPAND_SZ, false},
    {"BareName", "tinst.exe \"%1\"", REG_SZ, true},
    {"BareNameMissing", "tinst.exe \"%1\"", REG_SZ, false},
    // windir is changed in Tavrel's environment to a folder holding a copy.
    {"WindirFromTheSystem", "%windir%\\System32\\tinst.exe \"%1\"", REG_EXPAND_SZ, true},
    {"WindirFromTheSystemMissing", "%windir%\\System32\\tinst.exe \"%1\"", REG_EXPAND_SZ, false},
    // A relative path is never looked up as such: only its name, in the
    // system folders.
    {"RelativePath", "tools\\tinst.exe \"%1\"", REG_SZ, true},
    {"RelativePathMissing", "tools\\tinst.exe \"%1\"", REG_SZ, false},
    {"QuotedSystemRoot", "\"%SystemRoot%\\System32\\tinst.exe\" \"%1\"", REG_EXPAND_SZ, true},
    {"QuotedSystemRootMissing", "\"%SystemRoot%\\System32\\tinst.exe\" \"%1\"", REG_EXPAND_SZ, false},
};

INSTANTIATE_TEST_SUITE_P(Planting, PlantedInstaller, ::testing::ValuesIn(kPlantCases),
                         CaseName<PlantCase>);

struct WaitCase {
    const char* name;
    DWORD installerMs;  // off the one-second grid, so every poll falls clear of the end
    DWORD installerExitCode;
};

class WaitTable : public SystemTest, public ::testing::WithParamInterface<WaitCase> {};

// Tavrel checks the installer, then pauses a second, and ends after the
// first pause that followed a check that saw the installer ended: one to
// two pauses after the installer's end, never before it, whatever the
// installer's exit code, 259 (STILL_ACTIVE) included. Started at the first
// check, an installer of d ms is seen ended by check d/1000 + 1, so Tavrel
// makes d/1000 + 2 pauses in all.
TEST_P(WaitTable, EndsOneToTwoPausesAfterTheInstaller) {
    const WaitCase& c = GetParam();
    const ULONGLONG kPauseMs = 1000;
    // Scheduling on a loaded two-core machine: the installer may start a
    // little after Tavrel's first check, and its process may end most of a
    // second after it wrote down its end (measured: 860 ms, once in sixty
    // runs with both cores busy). So the upper bounds allow almost one more
    // pause: they catch a wait that misses the end for good, not by one poll.
    const ULONGLONG kEarlyMs = ScaledMs(400);
    const ULONGLONG kLateMs = ScaledMs(950);
    const ULONGLONG kClockMs = 50;
    RegisterInstallCommand(recorderPath_ + " %1");
    SetRecorderBehaviour(c.installerMs, c.installerExitCode);
    RunResult run = RunTavrel("x.inf", 30000);
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    std::vector<RecorderRun> runs = Recorded();
    ASSERT_EQ(1u, runs.size());
    ASSERT_NE(0u, runs[0].ended) << "the installer did not end";
    ASSERT_GT(run.endedAt, runs[0].ended) << "Tavrel ended before the installer";

    ULONGLONG afterMs = (run.endedAt - runs[0].ended) / kTicksPerMs;
    EXPECT_GE(afterMs, kPauseMs - kClockMs) << "Tavrel must pause once after seeing the end";
    EXPECT_LT(afterMs, 2 * kPauseMs + kLateMs) << "Tavrel noticed the installer's end too late";

    ULONGLONG pauses = c.installerMs / kPauseMs + 2;
    ULONGLONG sinceStartMs = (run.endedAt - runs[0].started) / kTicksPerMs;
    EXPECT_GE(sinceStartMs + kEarlyMs, pauses * kPauseMs) << "fewer than " << pauses << " pauses";
    // The installer may also have started before Tavrel's first check.
    EXPECT_LT(sinceStartMs, pauses * kPauseMs + kEarlyMs + kLateMs)
        << "more than " << pauses << " pauses";
}

const WaitCase kWaitCases[] = {
    {"EndsSoon", 300, 0},
    {"RunsOverOneSecondExit7", 1400, 7},
    {"ExitCode259", 2400, 259},
};

INSTANTIATE_TEST_SUITE_P(Wait, WaitTable, ::testing::ValuesIn(kWaitCases),
                         CaseName<WaitCase>);

// The install command names a document whose program takes it over DDE and
// is already running: the shell then starts no process and hands back no
// process handle. Tavrel has nothing to wait for: it ends after its first
// pause, with 0, and leaves the program running.
class NoProcessHandle : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        serverPath_ = caseDir_ + "dde_server.exe";
        serverLog_ = caseDir_ + "dde_server.log";
        DeleteFileA(serverLog_.c_str());
        ASSERT_TRUE(CopyInto(DdeServerSourcePath(), serverPath_)) << "copying the DDE server";
    }
    void TearDown() override {
        if (server_.hProcess != nullptr) {
            TerminateProcess(server_.hProcess, 0);
            WaitForSingleObject(server_.hProcess, ScaledMs(5000));
            CloseHandle(server_.hProcess);
            CloseHandle(server_.hThread);
        }
        SystemTest::TearDown();
    }

    // The server's log, one entry a line, the hex of each command decoded.
    std::vector<std::string> ServerLog() const {
        std::vector<std::string> lines;
        std::ifstream in(serverLog_, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("execute=", 0) == 0) line = "execute=" + FromHex(line.substr(8));
            lines.push_back(line);
        }
        return lines;
    }

    void StartServer() {
        std::string commandLine = "\"" + serverPath_ + "\" \"" + serverLog_ + "\" " + kService;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        ASSERT_TRUE(CreateProcessA(serverPath_.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                   0, nullptr, nullptr, &startup, &server_))
            << "starting the DDE server, error " << GetLastError();
        const ULONGLONG readyBy = GetTickCount64() + ScaledMs(10000);
        while (GetTickCount64() < readyBy && ServerLog().size() < 2) Sleep(50);
        ASSERT_EQ((std::vector<std::string>{"started", "ready"}), ServerLog())
            << "the DDE server did not register its service within " << ScaledMs(10000) << " ms";
    }

    static constexpr const char* kService = "TavrelTestDocuments";
    std::string serverPath_;
    std::string serverLog_;
    PROCESS_INFORMATION server_ = {};
};

TEST_F(NoProcessHandle, EndsAfterOnePause) {
    // The document type: opened through DDE, or by starting the server when
    // none runs (which would give a process to wait for).
    const std::string documentClass = "tavreltestdocument";
    OwnClassKey(".tavreldoc");
    OwnClassKey(documentClass);
    // Written where the machine's classes are kept, as the fixture does.
    const std::string classes = "Software\\Classes\\";
    RegSetValueA(HKEY_LOCAL_MACHINE, (classes + ".tavreldoc").c_str(), REG_SZ, documentClass.c_str(), 0);
    std::string open = classes + documentClass + "\\shell\\open";
    std::string serverCommand = "\"" + serverPath_ + "\" \"" + serverLog_ + "\" " + kService;
    RegSetValueA(HKEY_LOCAL_MACHINE, (open + "\\command").c_str(), REG_SZ, serverCommand.c_str(), 0);
    RegSetValueA(HKEY_LOCAL_MACHINE, (open + "\\ddeexec").c_str(), REG_SZ, "[open(\"%1\") %*]", 0);
    RegSetValueA(HKEY_LOCAL_MACHINE, (open + "\\ddeexec\\application").c_str(), REG_SZ, kService, 0);
    RegSetValueA(HKEY_LOCAL_MACHINE, (open + "\\ddeexec\\topic").c_str(), REG_SZ, "System", 0);
    std::string document = caseDir_ + "setup.tavreldoc";
    WriteFileBytes(document, "a document\r\n");
    StartServer();

    RegisterInstallCommand(document + " %1");
    ULONGLONG startedAt = NowTicks();
    RunResult run = RunTavrel("x.inf", 30000);
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectNoBox(run);
    EXPECT_EQ((std::vector<std::string>{"started", "ready",
                                        "execute=[open(\"" + document + "\") x.inf]"}),
              ServerLog())
        << "the running program should have been handed the document once, over DDE";
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(server_.hProcess, 0))
        << "the program that took the document should still run";

    // One pause, and not the poll of a process: the run includes starting
    // Tavrel, and the DDE exchange, which may take a while on a loaded machine.
    ULONGLONG tookMs = (run.endedAt - startedAt) / kTicksPerMs;
    EXPECT_GE(tookMs, 950u) << "Tavrel ends after its first pause";
    EXPECT_LT(tookMs, ScaledMs(5000)) << "Tavrel waited for something that does not end";
}

// 表 is 0x95 0x5C in code page 932: its trail byte is a backslash.
TEST_F(SystemTest, DoubleByteFolderIsHandedWhole) {
    SKIP_FOR_LOCALE(WithoutCodePage(932));
    std::string folder = std::string(kTestRoot) + "\\\x95\x5C\\";
    RegisterInstallCommand(recorderPath_ + " %1");
    RunResult run = RunTavrelIn(folder, "\"%EXEPATH%x.inf\"");
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    std::vector<RecorderRun> runs = Recorded();
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(AnsiToUtf8(folder + "x.inf"), AnsiToUtf8(runs[0].arguments));
}

// Deep folders: %EXEPATH% becomes Tavrel's whole folder, or Tavrel refuses
// rather than hand the installer a path cut short.
struct DeepCase {
    const char* name;
    size_t folderLength;  // of Tavrel's folder, drive and final separator included
    std::string afterPlaceholder;
    bool fits;
};

class DeepFolderTable : public SystemTest, public ::testing::WithParamInterface<DeepCase> {};

// Makes nested folders under caseDir_ until the path is `length` bytes long.
std::string MakeFolderOfLength(const std::string& base, size_t length) {
    std::string folder = base;
    CreateDirectoryA(folder.c_str(), nullptr);
    while (folder.size() < length) {
        size_t remaining = length - folder.size();
        size_t part = std::min<size_t>(remaining - 1, 100);
        if (remaining - part - 1 == 1) --part;  // never leave room for a name of 0 bytes
        folder += std::string(part, 'd') + "\\";
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    return folder;
}

TEST_P(DeepFolderTable, ExePathIsTheWholeFolderOrNothing) {
    const DeepCase& c = GetParam();
    std::string folder = MakeFolderOfLength(caseDir_, c.folderLength);
    ASSERT_EQ(c.folderLength, folder.size());
    RegisterInstallCommand(recorderPath_ + " %1");
    RunResult run = RunTavrelIn(folder, "\"%EXEPATH%" + c.afterPlaceholder + "\"");
    if (!c.fits) {
        EXPECT_EQ(ExitCodeOf(kExitSetupBroken), run.exitCode);
        ExpectOneBox(run, kSetupBroken);
        ExpectNothingLaunched();
        return;
    }
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectNoBox(run);
    ExpectRecorderGot(folder + c.afterPlaceholder);
}

// The expanded argument holds 269 bytes; Tavrel's own path stays under 260.
const DeepCase kDeepCases[] = {
    {"NearTheLimitOfItsOwnPath", 245, "x.inf", true},
    // Quotes, 200 bytes of folder and 67 more fill the buffer: a text that
    // fills it may have been cut, so Tavrel refuses it.
    {"ExpandedArgumentFillingItsBuffer", 200, std::string(67, 'a'), false},
    {"ExpandedArgumentOf268Bytes", 200, std::string(66, 'a'), true},
    {"TooDeepForTheArgument", 200, std::string(100, 'a') + ".inf", false},
};

INSTANTIATE_TEST_SUITE_P(Deep, DeepFolderTable, ::testing::ValuesIn(kDeepCases),
                         CaseName<DeepCase>);

// The entry point takes the command line as the system passes it.
struct RawCase {
    const char* name;
    const char* afterExePath;  // follows the quoted or unquoted exe path
    bool quotedName;
    const char* expectedArguments;
};

class RawCommandLine : public SystemTest, public ::testing::WithParamInterface<RawCase> {};

TEST_P(RawCommandLine, ArgumentTextFollowsTheProgramName) {
    const RawCase& c = GetParam();
    RegisterInstallCommand(recorderPath_ + " [%1]");
    std::string exe = PlaceTavrel(caseDir_);
    std::string line = (c.quotedName ? "\"" + exe + "\"" : exe) + c.afterExePath;
    RunResult run = RunRawCommandLine(exe, line);
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectRecorderGot(c.expectedArguments);
}

const RawCase kRawCases[] = {
    {"NoBlankAfterQuotedName", "x.inf", true, "[x.inf]"},
    {"TabAfterName", "\tx.inf", true, "[x.inf]"},
    {"ControlBytesSkipped", " \x01\x1f x.inf", true, "[x.inf]"},
    {"TrailingBlanksKept", " x.inf  ", true, "[x.inf  ]"},
    {"UnquotedName", " x.inf", false, "[x.inf]"},
};

INSTANTIATE_TEST_SUITE_P(Raw, RawCommandLine, ::testing::ValuesIn(kRawCases),
                         CaseName<RawCase>);

// A name whose quote is never closed takes the whole line: no argument.
TEST_F(SystemTest, UnclosedQuoteTakesTheWholeLine) {
    RegisterInstallCommand(recorderPath_ + " [%1]");
    std::string exe = PlaceTavrel(caseDir_);
    RunResult run = RunRawCommandLine(exe, "\"" + exe + " x.inf");
    EXPECT_EQ(ExitCodeOf(kExitNoArgument), run.exitCode);
    ExpectOneBox(run, kSetupBroken);
    ExpectNothingLaunched();
}

}  // namespace
