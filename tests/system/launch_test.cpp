// Tavrel.exe run for real under Wine: registry, shell, processes, message boxes.
#include <string>

#include "system_fixture.h"

namespace {

std::string Repeat(char c, size_t count) { return std::string(count, c); }

// Replaces {dir} (the folder of Tavrel.exe, with its separator) and {rec}
// (the recorder's path) in a case's text.
std::string Expand(std::string text, const std::string& dir, const std::string& recorder) {
    for (size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, dir);
    for (size_t at; (at = text.find("{rec}")) != std::string::npos;) text.replace(at, 5, recorder);
    return text;
}

// Cases whose registry holds the recorder as install command.
struct LaunchCase {
    const char* name;
    const char* command;   // the registered install command
    std::string argument;  // the argument text after Tavrel's own name
    std::string expected;  // what the recorder receives after its own name
};

class LaunchTable : public SystemTest, public ::testing::WithParamInterface<LaunchCase> {};

TEST_P(LaunchTable, RecorderReceivesTheCommandLine) {
    const LaunchCase& c = GetParam();
    RegisterInstallCommand(Expand(c.command, caseDir_, recorderPath_));
    RunResult run = RunTavrel(Expand(c.argument, caseDir_, recorderPath_));
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectNoBox(run);
    ExpectRecorderGot(Expand(c.expected, caseDir_, recorderPath_));
}

const LaunchCase kLaunchCases[] = {
    {"PlainPath", "{rec} %1", "C:\\d\\x.inf", "C:\\d\\x.inf"},
    {"QuotedPlaceholder", "{rec} %1", "\"%EXEPATH%drv\\x.inf\"", "{dir}drv\\x.inf"},
    {"LowerCasePlaceholderStays", "{rec} %1", "%exepath%x.inf", "%exepath%x.inf"},
    {"CommandWithoutPlaceholder", "{rec} /fixed", "C:\\d\\x.inf", "/fixed"},
    {"PlaceholderTwiceAdjacent", "{rec} %1%1", "a.inf", "a.infa.inf"},
    {"PlaceholderTwiceOneSpace", "{rec} %1 %1", "a.inf", "a.inf a.inf"},
    {"QuotedArgumentTrailingBlank", "{rec} \"%1\"", "\"C:\\d\\x.inf\" ", "\"C:\\d\\x.inf\""},
    {"ClosingQuoteOnly", "{rec} %1", "C:\\d\\x.inf\"", "C:\\d\\x.inf"},
    {"OpeningQuoteOnly", "{rec} %1", "\"C:\\d\\x.inf", "C:\\d\\x.inf"},
    {"InnerQuoteKeepsEveryByte", "{rec} %1", "C:\\a\"b\\x.inf", "C:\\a\"b\\x.inf"},
    {"UnquotedTrailingBlanksStay", "{rec} [%1]", "C:\\d\\x.inf  ", "[C:\\d\\x.inf  ]"},
    {"ParametersKeptAsWritten", "{rec}  \"%1\"  /q ", "x.inf", " \"x.inf\"  /q "},
    {"ArgumentOf130Bytes", "{rec} %1", "C:\\" + Repeat('a', 123) + ".inf",
     "C:\\" + Repeat('a', 123) + ".inf"},
};

INSTANTIATE_TEST_SUITE_P(Launch, LaunchTable, ::testing::ValuesIn(kLaunchCases),
                         CaseName<LaunchCase>);

// Cases that end early or launch nothing.
struct FailureCase {
    const char* name;
    RegistryValue infClass;
    std::string command;   // the install command, stored with `commandType`
    DWORD commandType;
    std::string argument;
    ExitCode exitCode;
    TavrelMessage message;  // kNoBox for none
};

class FailureTable : public SystemTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTable, EndsWithItsCodeAndMessage) {
    const FailureCase& c = GetParam();
    std::string text = Expand(c.command, caseDir_, recorderPath_);
    RegisterInstallCommand(c.infClass, c.commandType == REG_SZ ? StringValue(text)
                                                                : TypedValue(c.commandType, text));
    RunResult run = RunTavrel(c.argument);
    EXPECT_EQ(ExitCodeOf(c.exitCode), run.exitCode) << "exit code " << static_cast<int>(run.exitCode);
    ExpectBoxes(run, c.message);
    ExpectNothingLaunched();
}

// An empty argument and a class without an install command, each with its
// box in every language, are the message table's (message_test.cpp).
const FailureCase kFailureCases[] = {
    {"ArgumentOf131Bytes", StringValue(kTestClass), "{rec} %1", REG_SZ,
     "C:\\" + Repeat('a', 124) + ".inf", kExitSetupBroken, kSetupBroken},
    {"MissingInfKey", Missing(), "{rec} %1", REG_SZ, "x.inf", kExitSetupBroken, kSetupBroken},
    {"NonStringClass", TypedValue(REG_DWORD, std::string("\x01\0\0\0", 4)), "{rec} %1", REG_SZ,
     "x.inf", kExitSetupBroken, kOsUnsupported},
    // The class's name stored as another type must not be read as the class.
    {"ClassBinary", TypedValue(REG_BINARY, kTestClass), "{rec} %1", REG_SZ, "x.inf",
     kExitSetupBroken, kOsUnsupported},
    {"ClassMultiString", TypedValue(REG_MULTI_SZ, kTestClass + std::string(2, '\0')), "{rec} %1",
     REG_SZ, "x.inf", kExitSetupBroken, kOsUnsupported},
    {"ClassNone", TypedValue(REG_NONE, ""), "{rec} %1", REG_SZ, "x.inf", kExitSetupBroken,
     kOsUnsupported},
    {"ClassLongerThan254Bytes", StringValue(Repeat('c', 255)), "{rec} %1", REG_SZ, "x.inf",
     kExitSetupBroken, kSetupBroken},
    {"ClassTooLongForCommandKey", StringValue(Repeat('c', 240)), "{rec} %1", REG_SZ, "x.inf",
     kExitSetupBroken, kSetupBroken},
    {"CommandLongerThan519BytesIsNeverCut", StringValue(kTestClass),
     "{rec} %1 " + Repeat('x', 600), REG_SZ, "x.inf", kExitSetupBroken, kOsUnsupported},
    {"CommandThatCannotStart", StringValue(kTestClass), "C:\\nowhere\\missing.exe %1", REG_SZ,
     "x.inf", kExitLaunched, kNoBox},
};

INSTANTIATE_TEST_SUITE_P(Failure, FailureTable, ::testing::ValuesIn(kFailureCases),
                         CaseName<FailureCase>);

}  // namespace
