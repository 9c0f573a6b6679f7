// Hostile input through the real Tavrel.exe: every run ends with 0, -1 or -2,
// leaves no box open, and the installer gets nothing or exactly the command
// Tavrel builds (a registry text is never cut).
#include <string>

#include "system_fixture.h"

namespace {

const char kNothing[] = "\x01(nothing)";
const std::string kRecorder = TestRecorderPath();

std::string Bytes(int first, int last) {
    std::string bytes;
    for (int b = first; b <= last; ++b) bytes += static_cast<char>(b);
    return bytes;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x21 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

struct HostileCase {
    const char* name;
    std::string classKey;    // where the command is registered
    RegistryValue infClass;
    RegistryValue command;   // {rec} stands for the recorder's path
    std::string argument;
    ExitCode exitCode;
    TavrelMessage message;   // kNoBox for none
    std::string received;    // the recorder's arguments ({arg}: the argument as Tavrel got it); kNothing
};

RegistryValue ExpandRecorder(RegistryValue value, const std::string& recorder) {
    value.data = Replace(value.data, "{rec}", recorder);
    return value;
}

class HostileTable : public SystemTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileTable, EndsCleanly) {
    const HostileCase& c = GetParam();
    RegisterInstallCommandUnder(c.classKey, c.infClass, ExpandRecorder(c.command, recorderPath_));
    std::string argumentReceived = ArgumentAsReceived(c.argument);
    RunResult run = RunTavrel(c.argument);
    EXPECT_EQ(ExitCodeOf(c.exitCode), run.exitCode) << "exit code 0x" << std::hex << run.exitCode;
    ExpectBoxes(run, c.message);
    std::vector<RecorderRun> runs = Recorded();
    if (c.received == kNothing) {
        EXPECT_TRUE(runs.empty()) << "nothing should have been launched, but the recorder got: "
                                  << Hex(runs[0].commandLine);
        return;
    }
    ASSERT_EQ(1u, runs.size()) << "the recorder should have run once";
    std::string expected = Replace(c.received, "{arg}", argumentReceived);
    expected = Replace(expected, "{dir}", caseDir_);
    EXPECT_EQ(Hex(expected), Hex(runs[0].arguments));
}

// An install command of exactly `storedBytes` bytes in the registry that
// starts the recorder.
std::string CommandText(size_t storedBytes, bool withNul) {
    std::string text = kRecorder + " [%1] ";
    return text + std::string(storedBytes - (withNul ? 1 : 0) - text.size(), 'x');
}

RegistryValue CommandOfSize(size_t storedBytes, bool withNul) {
    std::string text = CommandText(storedBytes, withNul);
    return TypedValue(REG_SZ, withNul ? text + std::string(1, '\0') : text);
}

std::string ReceivedFromCommandOfSize(size_t storedBytes, bool withNul) {
    return Replace(CommandText(storedBytes, withNul).substr(kRecorder.size() + 1), "%1", "x.inf");
}

std::string HundredPlaceholders() {
    std::string text = "{rec}";
    for (int i = 0; i < 100; ++i) text += " %1";
    return text;
}

// How Tavrel fills in %1: each occurrence is replaced while the result
// still fits in 1,023 bytes; from the first that does not, they stay as
// written.
std::string HundredPlaceholdersReceived(const std::string& path) {
    std::string line = kRecorder;
    bool replacing = true;
    for (int i = 0; i < 100; ++i) {
        line += " ";
        if (replacing && line.size() + path.size() <= 1023) {
            line += path;
        } else {
            replacing = false;
            line += "%1";
        }
    }
    return line.substr(0, 1023).substr(kRecorder.size() + 1);
}

const std::string kClass = kTestClass;

const HostileCase kHostileCases[] = {
    // Arguments.
    {"Bytes01To64", kClass, StringValue(kClass), StringValue("{rec} [%1]"),
     "a" + Bytes(0x01, 0x64) + "z", kExitLaunched, kNoBox, "[{arg}]"},
    {"Bytes65ToC8", kClass, StringValue(kClass), StringValue("{rec} [%1]"),
     "a" + Bytes(0x65, 0xC8) + "z", kExitLaunched, kNoBox, "[{arg}]"},
    {"BytesC9ToFF", kClass, StringValue(kClass), StringValue("{rec} [%1]"),
     "a" + Bytes(0xC9, 0xFF) + "z", kExitLaunched, kNoBox, "[{arg}]"},
    {"LoneLeadByteAtTheEnd", kClass, StringValue(kClass), StringValue("{rec} [%1]"),
     "x.inf\x81", kExitLaunched, kNoBox, "[{arg}]"},
    {"DoubleByte130Bytes", kClass, StringValue(kClass), StringValue("{rec} [%1]"),
     [] { std::string s; for (int i = 0; i < 65; ++i) s += "\x95\x5C"; return s; }(), kExitLaunched, kNoBox,
     "[{arg}]"},
    {"DoubleByte131Bytes", kClass, StringValue(kClass), StringValue("{rec} [%1]"),
     [] { std::string s; for (int i = 0; i < 65; ++i) s += "\x95\x5C"; return s + "a"; }(),
     kExitSetupBroken, kSetupBroken, kNothing},
    {"LoneQuote", kClass, StringValue(kClass), StringValue("{rec} [%1]"), "\"", kExitLaunched, kNoBox, "[]"},
    {"TwoQuotes", kClass, StringValue(kClass), StringValue("{rec} [%1]"), "\"\"", kExitLaunched, kNoBox, "[]"},
    {"QuoteThenBlank", kClass, StringValue(kClass), StringValue("{rec} [%1]"), "\" ", kExitLaunched, kNoBox, "[ ]"},
    {"QuotesInside", kClass, StringValue(kClass), StringValue("{rec} [%1]"), "a\"b\"c", kExitLaunched, kNoBox,
     "[a\"b\"c]"},
    {"QuotesAroundAQuote", kClass, StringValue(kClass), StringValue("{rec} [%1]"), "\"x\" y\"", kExitLaunched,
     kNoBox, "[x\" y]"},
    {"QuotedPlaceholderAlone", kClass, StringValue(kClass), StringValue("{rec} [%1]"),
     "\"%EXEPATH%\"", kExitLaunched, kNoBox, "[{dir}]"},
    // The file class.
    // (A class that is no string: the failure table in launch_test.cpp.)
    {"ClassEmpty", kClass, TypedValue(REG_SZ, ""), StringValue("{rec} %1"), "x.inf", kExitSetupBroken,
     kOsUnsupported, kNothing},
    {"ClassWithoutNul", kClass, TypedValue(REG_SZ, kClass), StringValue("{rec} %1"), "x.inf", kExitLaunched,
     kNoBox, "x.inf"},
    {"ClassWithSpaces", "tavrel test file", StringValue("tavrel test file"),
     StringValue("{rec} %1"), "x.inf", kExitLaunched, kNoBox, "x.inf"},
    {"ClassWithQuotes", "tavrel\"test\"", StringValue("tavrel\"test\""), StringValue("{rec} %1"),
     "x.inf", kExitLaunched, kNoBox, "x.inf"},
    {"ClassWithBackslashes", "tavrelvendor\\sub\\class", StringValue("tavrelvendor\\sub\\class"),
     StringValue("{rec} %1"), "x.inf", kExitLaunched, kNoBox, "x.inf"},
    // The install command.
    {"CommandBinary", kClass, StringValue(kClass), TypedValue(REG_BINARY, "{rec} %1"), "x.inf", kExitLaunched,
     kNoBox, kNothing},
    {"CommandMultiString", kClass, StringValue(kClass),
     TypedValue(REG_MULTI_SZ, "{rec} %1" + std::string(2, '\0')), "x.inf", kExitLaunched, kNoBox, kNothing},
    {"CommandNone", kClass, StringValue(kClass), TypedValue(REG_NONE, ""), "x.inf", kExitLaunched, kNoBox,
     kNothing},
    {"CommandEmpty", kClass, StringValue(kClass), TypedValue(REG_SZ, ""), "x.inf", kExitLaunched, kNoBox,
     kNothing},
    {"CommandOnlySpaces", kClass, StringValue(kClass), StringValue("     "), "x.inf", kExitLaunched, kNoBox,
     kNothing},
    {"CommandWithoutNul", kClass, StringValue(kClass), TypedValue(REG_SZ, "{rec} [%1]"), "x.inf", kExitLaunched,
     kNoBox, "[x.inf]"},
    {"Command519Bytes", kClass, StringValue(kClass), CommandOfSize(519, true), "x.inf", kExitLaunched, kNoBox,
     ReceivedFromCommandOfSize(519, true)},
    {"Command520Bytes", kClass, StringValue(kClass), CommandOfSize(520, true), "x.inf", kExitLaunched, kNoBox,
     ReceivedFromCommandOfSize(520, true)},
    {"Command520BytesWithoutNul", kClass, StringValue(kClass), CommandOfSize(520, false), "x.inf",
     kExitSetupBroken, kOsUnsupported, kNothing},
    {"Command1024Bytes", kClass, StringValue(kClass), CommandOfSize(1024, true), "x.inf", kExitSetupBroken,
     kOsUnsupported, kNothing},
    {"Command1025Bytes", kClass, StringValue(kClass), CommandOfSize(1025, true), "x.inf", kExitSetupBroken,
     kOsUnsupported, kNothing},
    {"HundredPlaceholders", kClass, StringValue(kClass), StringValue(HundredPlaceholders()),
     "C:\\dir\\x.inf", kExitLaunched, kNoBox, HundredPlaceholdersReceived("C:\\dir\\x.inf")},
};

INSTANTIATE_TEST_SUITE_P(Hostile, HostileTable, ::testing::ValuesIn(kHostileCases),
                         CaseName<HostileCase>);

}  // namespace
