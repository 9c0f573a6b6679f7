#include "execute_and_wait.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "buffers.h"
#include "fake_system.h"

namespace {

// Parameters are null when none are expected, else the tail of the text.
void ExpectParametersAt(const char* expectedTail, const char* text, size_t textLength,
                        const char* parameters) {
    if (expectedTail == nullptr) {
        EXPECT_EQ(nullptr, parameters) << "parameters: " << Shown(parameters);
        return;
    }
    std::string tail = expectedTail;
    EXPECT_EQ(text + textLength - tail.size(), parameters)
        << "parameters must point into the text at \"" << Shown(tail) << "\"";
    if (parameters != nullptr) {
        EXPECT_EQ(Shown(tail), Shown(parameters));
    }
}

// Tavrel.exe sits in D:\Downloads, which is also the current folder, and a
// copy of every installer the cases name waits there to be run in its place.
const char kTavrelFolder[] = "D:\\Downloads\\";

TEST(ResolveProgram, FindsTheRegisteredProgramAndNeverOneBesideTavrel) {
    LeadBytes cp932;
    LeadBytesForCodePage(&cp932, 932, 2, nullptr, 0);
    LeadBytes cp1252;
    LeadBytesForCodePage(&cp1252, 1252, 1, nullptr, 0);
    const std::string so = "\x83\x5C";  // ソ under 932
    const std::string sys = "C:\\Windows\\System32\\";
    const std::string long259 = "C:\\" + std::string(256, 'p');
    const std::string long260 = "C:\\" + std::string(257, 'p');

    struct Case {
        const char* name;
        const LeadBytes& lead;
        std::string text;
        std::vector<std::string> files;  // besides the planted copies
        bool expectedResult;
        std::string expectedProgram;
        const char* expectedParameters;  // a tail of the text, or null
    } cases[] = {
        {"no space: the whole text", cp1252, "C:\\t\\run.exe", {"C:\\t\\run.exe"}, true,
         "C:\\t\\run.exe", nullptr},
        {"no space, not found", cp1252, "C:\\t\\run.exe", {}, false, "", nullptr},
        {"tab is no space", cp1252, "C:\\t\\run.exe\ta", {"C:\\t\\run.exe"}, true,
         "C:\\t\\run.exe", "a"},
        {"found as written", cp1252, "C:\\t\\run.exe a b", {"C:\\t\\run.exe"}, true,
         "C:\\t\\run.exe", "a b"},
        {"program path with a space", cp1252, "C:\\Program Files\\tool\\run.exe a b",
         {"C:\\Program Files\\tool\\run.exe"}, true, "C:\\Program Files\\tool\\run.exe", "a b"},
        {"as Windows registers it", cp1252,
         "%SystemRoot%\\System32\\rundll32.exe setupapi,InstallHinfSection DefaultInstall 132 C:\\x.inf",
         {sys + "rundll32.exe"}, true, sys + "rundll32.exe",
         "setupapi,InstallHinfSection DefaultInstall 132 C:\\x.inf"},
        {"system program missing: the planted copy is not taken", cp1252,
         "%SystemRoot%\\System32\\tinst.exe \"C:\\x.inf\"", {}, false, "", nullptr},
        {"full path, system program missing", cp1252, sys + "tinst.exe \"C:\\x.inf\"", {}, false, "",
         nullptr},
        {"bare name, system program missing", cp1252, "tinst.exe \"C:\\x.inf\"", {}, false, "", nullptr},
        {"bare name found in the system directory", cp1252, "tinst.exe \"C:\\x.inf\"",
         {sys + "tinst.exe"}, true, sys + "tinst.exe", "\"C:\\x.inf\""},
        {"relative path: only its name, in the system folders", cp1252, "tools\\tinst.exe x",
         {"tools\\tinst.exe", sys + "tinst.exe"}, true, sys + "tinst.exe", "x"},
        {"relative path, name not in the system folders", cp1252, "tools\\tinst.exe x",
         {"tools\\tinst.exe"}, false, "", nullptr},
        {"last resort: the file name of an unset reference", cp1252, "%Vendor%\\bin\\inst.exe x",
         {sys + "inst.exe"}, true, sys + "inst.exe", "x"},
        {"windir from the system, not the environment", cp1252, "%windir%\\System32\\inst.exe x",
         {"D:\\Downloads\\System32\\inst.exe", sys + "inst.exe"}, true, sys + "inst.exe", "x"},
        {"quoted program", cp1252, "\"C:\\Program Files\\run.exe\" a", {"C:\\Program Files\\run.exe"},
         true, "C:\\Program Files\\run.exe", "a"},
        {"quoted reference", cp1252, "\"%SystemRoot%\\System32\\inst.exe\" \"C:\\x.inf\"",
         {sys + "inst.exe"}, true, sys + "inst.exe", "\"C:\\x.inf\""},
        {"quoted relative path", cp1252, "\"tools\\inst.exe\" a", {"tools\\inst.exe"}, false, "",
         nullptr},
        {"candidate running into later words", cp1252, "C:\\t\\prog.exe x y", {"C:\\t\\prog.exe x"},
         true, "C:\\t\\prog.exe x", "y"},
        {"leading space: the system's reading", cp1252, " C:\\t\\run.exe a", {"C:\\t\\run.exe"}, true,
         "C:\\t\\run.exe", "a"},
        {"two spaces: one kept before the parameters", cp1252, "C:\\t\\run.exe  a \"b\" ",
         {"C:\\t\\run.exe"}, true, "C:\\t\\run.exe", " a \"b\" "},
        {"space at the end: no parameters", cp1252, "C:\\t\\run.exe ", {"C:\\t\\run.exe"}, true,
         "C:\\t\\run.exe", nullptr},
        {"space inside the path, nothing after", cp1252, "C:\\Program Files\\run.exe",
         {"C:\\Program Files\\run.exe"}, true, "C:\\Program Files\\run.exe", nullptr},
        {"a folder is no program", cp1252, "C:\\Vendor Tools\\setup.exe",
         {"C:\\Vendor Tools\\setup.exe"}, true, "C:\\Vendor Tools\\setup.exe", nullptr},
        {"nothing found", cp1252, "a b c", {}, false, "", nullptr},
        {"empty", cp1252, "", {}, false, "", nullptr},
        {"blanks only", cp1252, " \t ", {}, false, "", nullptr},
        {"932 trail byte 0x5C is no separator", cp932, "C:\\d\\" + so + ".exe x", {sys + so + ".exe"},
         true, sys + so + ".exe", "x"},
        {"same bytes, 1252", cp1252, "C:\\d\\" + so + ".exe x", {sys + so + ".exe"}, false, "", nullptr},
        {"candidate of 259 bytes", cp1252, long259 + " x", {long259}, true, long259, "x"},
        {"candidate of 260 bytes", cp1252, long260 + " x", {long260}, false, "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + Shown(c.text.substr(0, 80)));
        FakeSystem system;
        system.lead = c.lead;
        system.environment = {{"windir", "D:\\Downloads"}, {"systemroot", "D:\\Downloads"}};
        system.searchPath = ".;;tools;..\\Downloads;D:\\Tools";
        system.files = c.files;
        system.folders = {"C:\\Program", "C:\\Vendor", "C:\\Windows", "C:\\Windows\\System32"};
        for (const char* planted : {"tinst.exe", "inst.exe", "run.exe", "rundll32.exe", "Program"}) {
            system.files.push_back(kTavrelFolder + std::string(planted));
            system.files.push_back(planted);
        }
        SystemFacts facts = system.Facts();
        auto text = ExactText(c.text);
        Buffer program(kProgramPathCapacity);
        ResolvedCommand resolved = {nullptr, nullptr};
        bool result = ResolveProgram(text.get(), &facts, program.get(), &resolved);
        EXPECT_EQ(c.expectedResult, result);
        for (const std::string& asked : system.asked) {
            EXPECT_EQ(kAbsolutePath, FormOf(asked.c_str(), &c.lead)) << "looked at " << Shown(asked);
            EXPECT_NE(0u, asked.rfind(kTavrelFolder, 0)) << "looked beside Tavrel: " << Shown(asked);
        }
        if (!c.expectedResult || !result) continue;

        // Only ever the absolute path of a file goes to the shell: never a
        // bare name it would look up again, nor an unexpanded reference.
        EXPECT_EQ(program.get(), resolved.program) << "program must be in the program buffer";
        EXPECT_EQ(Shown(c.expectedProgram), Shown(program.Text()));
        EXPECT_EQ(kAbsolutePath, FormOf(program.get(), &c.lead));
        EXPECT_EQ(std::string::npos, program.Text().find('%')) << "unexpanded reference";
        ExpectParametersAt(c.expectedParameters, text.get(), c.text.size(), resolved.parameters);
    }
}

TEST(SplitAtProgramName, SplitsAtTheQuoteOrTheFirstBlank) {
    struct Case {
        const char* name;
        std::string text;
        int capacity;
        bool expectedResult;
        std::string expectedProgram;
        const char* expectedParameters;  // a tail of the text, or null
    } cases[] = {
        {"quoted", "\"C:\\Program Files\\run.exe\" a b", 260, true, "C:\\Program Files\\run.exe", "a b"},
        {"quoted, nothing between", "\"run.exe\"a", 260, true, "run.exe", "a"},
        {"unquoted, space", "run.exe a \"b\" ", 260, true, "run.exe", "a \"b\" "},
        {"unquoted, tab", "run.exe\ta", 260, true, "run.exe", "a"},
        {"leading and following blanks skipped", " \t run.exe \t a", 260, true, "run.exe", "a"},
        {"program only", "run.exe", 260, true, "run.exe", nullptr},
        {"program and blanks only", "run.exe \t ", 260, true, "run.exe", nullptr},
        {"quoted program only", "\"C:\\a b\\run.exe\"", 260, true, "C:\\a b\\run.exe", nullptr},
        {"unclosed quote takes the rest", "\"C:\\a b\\run.exe x", 260, true, "C:\\a b\\run.exe x", nullptr},
        {"program fits exactly", "run.exe a", 8, true, "run.exe", "a"},
        {"program one too long", "runs.exe a", 8, false, "", nullptr},
        {"quoted program one too long", "\"runs.exe\" a", 8, false, "", nullptr},
        {"empty quotes", "\"\" a", 260, false, "", nullptr},
        {"blanks only", " \t ", 260, false, "", nullptr},
        {"empty", "", 260, false, "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + Shown(c.text));
        auto text = ExactText(c.text);
        Buffer program(c.capacity);
        ResolvedCommand resolved = {nullptr, nullptr};
        bool result = SplitAtProgramName(text.get(), program.get(), c.capacity, &resolved);
        EXPECT_EQ(c.expectedResult, result);
        if (!c.expectedResult || !result) continue;

        EXPECT_EQ(program.get(), resolved.program) << "program must be in the program buffer";
        EXPECT_EQ(Shown(c.expectedProgram), Shown(program.Text()));
        ExpectParametersAt(c.expectedParameters, text.get(), c.text.size(), resolved.parameters);
    }
}

}  // namespace
