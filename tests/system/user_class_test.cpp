// The user's own classes (HKCU\Software\Classes), which any program of the
// user can write without elevation, never decide which installer Tavrel
// starts with administrator rights. On Windows they win over the machine's
// classes in HKEY_CLASSES_ROOT, also for an elevated program. Wine has no
// such merge (its HKEY_CLASSES_ROOT is the machine's classes alone), so a
// planted user class could not win there whatever Tavrel read: these cases
// run on Windows only.
#include <string>
#include <utility>
#include <vector>

#include "system_fixture.h"

namespace {

const char kPlantedClass[] = "tavrelplantedclass";
const std::string kPlantedMark = "%PLANTED%";

struct UserClassCase {
    const char* name;
    // Default values set under HKCU\Software\Classes; %PLANTED% stands for
    // the planted recorder's quoted path.
    std::vector<std::pair<std::string, std::string>> userValues;
};

class UserClasses : public SystemTest, public ::testing::WithParamInterface<UserClassCase> {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        if (UnderWine()) {
            GTEST_SKIP() << "Wine has no per-user classes: its HKEY_CLASSES_ROOT is "
                            "HKLM\\Software\\Classes alone, so a user class cannot win there";
        }
        std::string folder = caseDir_ + "planted";
        CreateDirectoryA(folder.c_str(), nullptr);
        planted_ = folder + "\\recorder.exe";
        ASSERT_TRUE(CopyInto(recorderPath_, planted_)) << "copying the recorder to " << planted_;
    }

    std::string planted_;
};

TEST_P(UserClasses, NeverDecideWhichInstallerRuns) {
    // The machine's registration first: the user's keys must not exist yet
    // when it is written.
    RegisterInstallCommand("\"" + recorderPath_ + "\" \"%1\"");
    for (const auto& value : GetParam().userValues) {
        std::string text = value.second;
        size_t at = text.find(kPlantedMark);
        if (at != std::string::npos) text.replace(at, kPlantedMark.size(), "\"" + planted_ + "\"");
        SetUserClassValue(value.first, StringValue(text));
    }
    RunResult run = RunTavrel("C:\\d\\x.inf");
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectNoBox(run);
    std::vector<RecorderRun> runs = Recorded();
    for (const RecorderRun& r : runs) {
        EXPECT_NE(0, lstrcmpiA(planted_.c_str(), r.module.c_str())) << "the user's planted recorder ran";
    }
    ASSERT_EQ(1u, runs.size()) << "expected the machine's installer to run once";
    EXPECT_EQ(0, lstrcmpiA(recorderPath_.c_str(), runs[0].module.c_str()))
        << "expected " << recorderPath_ << ", ran " << runs[0].module;
    EXPECT_EQ("\"C:\\d\\x.inf\"", runs[0].arguments);
}

const UserClassCase kRegistrationCases[] = {
    {"UserInfClass",
     {{".inf", kPlantedClass}, {std::string(kPlantedClass) + "\\shell\\Install\\command", "%PLANTED% \"%1\""}}},
    {"UserInstallCommand",
     {{std::string(kTestClass) + "\\shell\\Install\\command", "%PLANTED% \"%1\""}}},
};

INSTANTIATE_TEST_SUITE_P(Registration, UserClasses, ::testing::ValuesIn(kRegistrationCases),
                         CaseName<UserClassCase>);

// Still open: the shell looks up how to open an .exe (the exefile class)
// through the merged classes, so a user's open verb for exefile would run in
// place of the installer. Handing the shell the machine's class key would
// close it, but Wine's shell then passes the wrong parameters, so it cannot
// be tested here. Run it on Windows with --gtest_also_run_disabled_tests.
const UserClassCase kShellCases[] = {
    {"UserExeOpenVerb", {{"exefile\\shell\\open\\command", "%PLANTED% \"%1\" %*"}}},
};

INSTANTIATE_TEST_SUITE_P(DISABLED_Shell, UserClasses, ::testing::ValuesIn(kShellCases),
                         CaseName<UserClassCase>);

}  // namespace
