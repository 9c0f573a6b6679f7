// Tavrel started from a folder whose name the ANSI code page cannot hold:
// the installer must get a path that names the real .inf (the folder's
// short name when the long one would be mangled), or nothing at all.
//
// A case runs where the system has its ANSI code page, and is skipped
// elsewhere: in the lab each runs in the Wine prefixes of its locale, like
// the message table (a case named en_US_JapaneseFolder in win32-en_US.UTF-8
// and win64-en_US.UTF-8, see tests/CMakeLists.txt).
#include <string>

#include "system_fixture.h"

namespace {

std::wstring Utf8ToWide(const std::string& utf8) {
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
    return wide;
}

std::wstring AnsiToWide(const std::string& ansi) { return Utf8ToWide(AnsiToUtf8(ansi)); }

enum class Outcome {
    kNamesTheInf,      // the installer gets a path of the real .inf
    kLongPathExactly,  // ... and it is the long path, as the code page holds it
    kRefused,          // message 101, exit code -2, nothing launched
};

struct FolderCase {
    const char* name;      // <locale>_<case>
    UINT codePage;         // the ANSI code page it needs
    const char* folder;      // UTF-8, made under the test's folder
    const char* argument;    // UTF-8
    Outcome outcome;
};

class FolderTable : public SystemTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(FolderTable, InstallerGetsTheRealInfOrNothing) {
    const FolderCase& c = GetParam();
    SKIP_FOR_LOCALE(WithoutCodePage(c.codePage));

    std::wstring folder = AnsiToWide(caseDir_) + Utf8ToWide(c.folder) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    if (c.outcome == Outcome::kNamesTheInf) {
        WCHAR shortName[MAX_PATH] = {};
        DWORD length = GetShortPathNameW(folder.c_str(), shortName, MAX_PATH);
        if (length == 0 || length >= MAX_PATH || folder == shortName) {
            GTEST_SKIP() << "the volume of " << kTestRoot << " keeps no short (8.3) names, which this case needs";
        }
    }
    std::wstring exe = folder + L"Tavrel.exe";
    ASSERT_TRUE(CopyFileW(AnsiToWide(TavrelExeSourcePath()).c_str(), exe.c_str(), FALSE));
    const char kInfText[] = "; the real .inf\r\n";
    std::wstring inf = folder + L"x.inf";
    HANDLE file = CreateFileW(inf.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, kInfText, sizeof(kInfText) - 1, &written, nullptr);
    CloseHandle(file);

    RegisterInstallCommand(recorderPath_ + " %1");
    RunResult run = RunProcessWide(exe, L"\"" + exe + L"\" " + Utf8ToWide(c.argument));
    ASSERT_TRUE(run.started && !run.timedOut) << "running Tavrel.exe";

    if (c.outcome == Outcome::kRefused) {
        EXPECT_EQ(ExitCodeOf(kExitSetupBroken), run.exitCode) << "exit code " << static_cast<int>(run.exitCode);
        ASSERT_EQ(1u, run.boxes.size()) << "expected message 101";
        ExpectNothingLaunched();
        return;
    }
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectNoBox(run);
    std::vector<RecorderRun> runs = Recorded();
    ASSERT_EQ(1u, runs.size()) << "the installer should have run once";
    std::wstring received = AnsiToWide(runs[0].arguments);
    if (c.outcome == Outcome::kLongPathExactly) {
        EXPECT_EQ(WideToUtf8(inf), WideToUtf8(received));
    }
    char content[64] = {};
    HANDLE opened = CreateFileW(received.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, opened) << "the installer got " << WideToUtf8(received)
                                            << ", which names no file";
    DWORD read = 0;
    ReadFile(opened, content, sizeof(content) - 1, &read, nullptr);
    CloseHandle(opened);
    EXPECT_EQ(kInfText, std::string(content, read)) << WideToUtf8(received) << " is another file";
}

const FolderCase kFolderCases[] = {
    // A Korean name on a Japanese system, a Japanese one on an English system.
    {"ja_JP_HangulFolder", 932, "김", "\"%EXEPATH%x.inf\"", Outcome::kNamesTheInf},
    {"en_US_JapaneseFolder", 1252, "表示", "\"%EXEPATH%x.inf\"", Outcome::kNamesTheInf},
    // Names the code page holds: the long path, as it always was.
    {"ja_JP_FolderTheCodePageHolds", 932, "表Ωmega", "\"%EXEPATH%x.inf\"",
     Outcome::kLongPathExactly},
    {"en_US_FolderTheCodePageHolds", 1252, "Café", "\"%EXEPATH%x.inf\"",
     Outcome::kLongPathExactly},
    // Best fit would silently make the folder Cafe under code page 932.
    {"ja_JP_BestFitFolder", 932, "Café", "\"%EXEPATH%x.inf\"", Outcome::kNamesTheInf},
    // A path the installer could only get mangled.
    {"ja_JP_ArgumentOutsideTheCodePage", 932, "plain", "C:\\d\\김.inf", Outcome::kRefused},
    {"en_US_ArgumentOutsideTheCodePage", 1252, "plain", "C:\\d\\表.inf", Outcome::kRefused},
};

INSTANTIATE_TEST_SUITE_P(Folders, FolderTable, ::testing::ValuesIn(kFolderCases),
                         CaseName<FolderCase>);

}  // namespace
