// Tavrel's two messages as users of each locale see them: read back from the
// box as Unicode, so a text that a code page turned into question marks
// shows as such. Japanese systems get the Japanese table, every other system
// the English one; the caption is always the system's own.
//
// Each case runs in the Wine prefix of its locale: a case named
// ko_KR_SetupBroken runs in win32-ko_KR.UTF-8 (see tests/CMakeLists.txt).
#include <string>

#include "system_fixture.h"

namespace {

enum class Trigger {
    kEmptyArgument,     // message 101, exit code -1
    kNoInstallCommand,  // message 102, exit code -2
};

struct MessageCase {
    const char* name;        // <locale>_<message>
    const char* userLocale;  // the locale Windows reports in that prefix
    Trigger trigger;
    const char* caption;     // UTF-8
    const char* text;        // UTF-8
};

const char kEnglishBroken[] = "This setup is broken.";
const char kEnglishUnsupported[] = "This setup does not support this operating system.";

class MessageTable : public SystemTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageTable, BoxShowsTheTextOfTheUsersLanguage) {
    const MessageCase& c = GetParam();
    ExpectUserLocale(c.userLocale);
    if (HasFatalFailure()) return;

    RunResult run;
    DWORD exitCode;
    if (c.trigger == Trigger::kEmptyArgument) {
        RegisterInstallCommand(recorderPath_ + " %1");
        run = RunTavrel("");
        exitCode = ExitCodeOf(kExitNoArgument);
    } else {
        RegisterInstallCommand(StringValue(kTestClass), Missing());
        run = RunTavrel("x.inf");
        exitCode = ExitCodeOf(kExitSetupBroken);
    }
    EXPECT_EQ(exitCode, run.exitCode) << "exit code " << static_cast<int>(run.exitCode);
    ExpectOneBox(run, c.text);
    if (!run.boxes.empty()) EXPECT_EQ(c.caption, run.boxes[0].caption);
    ExpectNothingLaunched();
}

const MessageCase kMessageCases[] = {
    {"ja_JP_SetupBroken", "ja-JP", Trigger::kEmptyArgument, "エラー", kSetupBroken},
    {"ja_JP_OsUnsupported", "ja-JP", Trigger::kNoInstallCommand, "エラー", kOsUnsupported},
    {"en_US_SetupBroken", "en-US", Trigger::kEmptyArgument, "Error", kEnglishBroken},
    {"en_US_OsUnsupported", "en-US", Trigger::kNoInstallCommand, "Error", kEnglishUnsupported},
    {"de_DE_SetupBroken", "de-DE", Trigger::kEmptyArgument, "Fehler", kEnglishBroken},
    {"de_DE_OsUnsupported", "de-DE", Trigger::kNoInstallCommand, "Fehler", kEnglishUnsupported},
    {"ko_KR_SetupBroken", "ko-KR", Trigger::kEmptyArgument, "오류", kEnglishBroken},
    {"ko_KR_OsUnsupported", "ko-KR", Trigger::kNoInstallCommand, "오류", kEnglishUnsupported},
};

INSTANTIATE_TEST_SUITE_P(Messages, MessageTable, ::testing::ValuesIn(kMessageCases),
                         CaseName<MessageCase>);

}  // namespace
