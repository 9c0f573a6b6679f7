// Tavrel's two messages as users of each display language see them: read
// back from the box as Unicode, so a text that a code page turned into
// question marks shows as such. Systems whose display language is Japanese
// get the Japanese table, every other system the English one; the caption
// is always the system's own.
//
// A case runs where the system has its display language, and is skipped
// elsewhere: in the lab each runs in the Wine prefix of its locale (a case
// named ko_KR_SetupBroken in win32-ko_KR.UTF-8, see tests/CMakeLists.txt).
#include <string>

#include "system_fixture.h"

namespace {

enum class Trigger {
    kEmptyArgument,     // message 101, exit code -1
    kNoInstallCommand,  // message 102, exit code -2
};

struct MessageCase {
    const char* name;             // <locale>_<message>
    const char* displayLanguage;  // as GetUserDefaultUILanguage names it
    Trigger trigger;
    const char* caption;     // UTF-8
    const char* text;        // UTF-8
};

class MessageTable : public SystemTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageTable, BoxShowsTheTextOfTheUsersLanguage) {
    const MessageCase& c = GetParam();
    SKIP_FOR_LOCALE(WithoutDisplayLanguage(c.displayLanguage));

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
    {"ja_JP_SetupBroken", "ja-JP", Trigger::kEmptyArgument, "エラー", kSetupBrokenJapanese},
    {"ja_JP_OsUnsupported", "ja-JP", Trigger::kNoInstallCommand, "エラー", kOsUnsupportedJapanese},
    {"en_US_SetupBroken", "en-US", Trigger::kEmptyArgument, "Error", kSetupBrokenEnglish},
    {"en_US_OsUnsupported", "en-US", Trigger::kNoInstallCommand, "Error", kOsUnsupportedEnglish},
    {"de_DE_SetupBroken", "de-DE", Trigger::kEmptyArgument, "Fehler", kSetupBrokenEnglish},
    {"de_DE_OsUnsupported", "de-DE", Trigger::kNoInstallCommand, "Fehler", kOsUnsupportedEnglish},
    {"ko_KR_SetupBroken", "ko-KR", Trigger::kEmptyArgument, "오류", kSetupBrokenEnglish},
    {"ko_KR_OsUnsupported", "ko-KR", Trigger::kNoInstallCommand, "오류", kOsUnsupportedEnglish},
};

INSTANTIATE_TEST_SUITE_P(Messages, MessageTable, ::testing::ValuesIn(kMessageCases),
                         CaseName<MessageCase>);

}  // namespace
