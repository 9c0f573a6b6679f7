#include "execute_and_wait.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "buffers.h"

namespace {

// Stands in for the system's file search: knows a fixed set of names and
// records every name it is asked for.
struct Files {
    std::set<std::string> found;
    std::vector<std::string> asked;
};

bool SearchFiles(const char* name, void* context) {
    Files* files = static_cast<Files*>(context);
    files->asked.push_back(name);
    return files->found.count(name) != 0;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& n : names) joined += "[" + Shown(n) + "]";
    return joined;
}

enum Source { kNone, kText, kCandidate, kName };

const char* SourceName(Source s) {
    switch (s) {
    case kText: return "the text";
    case kCandidate: return "the candidate buffer";
    case kName: return "the name buffer";
    default: return "nothing";
    }
}

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
    if (parameters != nullptr) EXPECT_EQ(Shown(tail), Shown(parameters));
}

TEST(ResolveProgram, TriesEachSpaceAsTheEndOfTheProgram) {
    LeadBytes cp932;
    LeadBytesForCodePage(&cp932, 932, 2, nullptr, 0);
    LeadBytes cp1252;
    LeadBytesForCodePage(&cp1252, 1252, 1, nullptr, 0);
    const std::string so = "\x83\x5C";  // ソ under 932
    const std::string long259(259, 'p');
    const std::string long260(260, 'p');

    struct Case {
        const char* name;
        const LeadBytes& lead;
        std::string text;
        std::set<std::string> found;
        bool expectedResult;
        Source expectedSource;
        std::string expectedProgram;
        const char* expectedParameters;  // a tail of the text, or null
        std::vector<std::string> expectedSearches;
    } cases[] = {
        {"no space: the whole text", cp1252, "C:\\t\\run.exe", {}, true, kText, "C:\\t\\run.exe", nullptr, {}},
        {"tab is no space", cp1252, "run.exe\ta", {"run.exe"}, true, kText, "run.exe\ta", nullptr, {}},
        {"found as written", cp1252, "C:\\t\\run.exe a b", {"C:\\t\\run.exe"}, true, kCandidate,
         "C:\\t\\run.exe", "a b", {"C:\\t\\run.exe"}},
        {"program path with a space", cp1252, "C:\\Program Files\\tool\\run.exe a b",
         {"C:\\Program Files\\tool\\run.exe"}, true, kCandidate, "C:\\Program Files\\tool\\run.exe", "a b",
         {"C:\\Program", "Program", "C:\\Program Files\\tool\\run.exe"}},
        {"unexpanded reference: found by name", cp1252,
         "%SystemRoot%\\system32\\rundll32.exe setupapi,InstallHinfSection DefaultInstall 132 C:\\x.inf",
         {"rundll32.exe"}, true, kName, "rundll32.exe",
         "setupapi,InstallHinfSection DefaultInstall 132 C:\\x.inf",
         {"%SystemRoot%\\system32\\rundll32.exe", "rundll32.exe"}},
        {"quoted program is not found", cp1252, "\"C:\\Program Files\\run.exe\" a", {"run.exe"}, false, kNone,
         "", nullptr,
         {"\"C:\\Program", "Program", "\"C:\\Program Files\\run.exe\"", "run.exe\""}},
        {"quoted program, bare word on the search path", cp1252, "\"C:\\Program Files\\run.exe\" a",
         {"Program"}, true, kName, "Program", "Files\\run.exe\" a", {"\"C:\\Program", "Program"}},
        {"candidate running into later words", cp1252, "C:\\t\\prog.exe x y", {"prog.exe x"}, true, kName,
         "prog.exe x", "y", {"C:\\t\\prog.exe", "prog.exe", "C:\\t\\prog.exe x", "prog.exe x"}},
        {"leading space: empty first candidate", cp1252, " C:\\t\\run.exe a", {"run.exe"}, true, kName,
         "run.exe", "a", {"", "", " C:\\t\\run.exe", "run.exe"}},
        {"two spaces: one kept before the parameters", cp1252, "run.exe  a \"b\" ", {"run.exe"}, true,
         kCandidate, "run.exe", " a \"b\" ", {"run.exe"}},
        {"space at the end: no parameters", cp1252, "run.exe ", {"run.exe"}, true, kCandidate, "run.exe",
         nullptr, {"run.exe"}},
        {"space inside the path, nothing after", cp1252, "C:\\Program Files\\run.exe", {"run.exe"}, false,
         kNone, "", nullptr, {"C:\\Program", "Program"}},
        {"nothing found", cp1252, "a b c", {}, false, kNone, "", nullptr, {"a", "a", "a b", "a b"}},
        {"932 trail byte 0x5C is no separator", cp932, "C:\\d\\" + so + ".exe x", {so + ".exe"}, true, kName,
         so + ".exe", "x", {"C:\\d\\" + so + ".exe", so + ".exe"}},
        {"same bytes, 1252", cp1252, "C:\\d\\" + so + ".exe x", {so + ".exe"}, false, kNone, "", nullptr,
         {"C:\\d\\" + so + ".exe", ".exe"}},
        {"candidate of 259 bytes", cp1252, long259 + " x", {long259}, true, kCandidate, long259, "x", {long259}},
        {"candidate of 260 bytes", cp1252, long260 + " x", {long260}, false, kNone, "", nullptr, {}},
        {"name cut by the split is never searched", cp1252, std::string(256, 'a') + ".e x",
         {std::string(255, 'a') + ".e"}, false, kNone, "", nullptr, {std::string(256, 'a') + ".e"}},
        {"too long after one not found", cp1252, "a " + long260 + " x", {long260}, false, kNone, "", nullptr,
         {"a", "a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + Shown(c.text.substr(0, 80)));
        auto text = ExactText(c.text);
        Buffer candidate(kCandidateCapacity);
        Buffer name(kCandidateCapacity);
        Files files{c.found, {}};
        ResolvedCommand resolved = {nullptr, nullptr};
        bool result = ResolveProgram(text.get(), &c.lead, SearchFiles, &files, candidate.get(),
                                     name.get(), &resolved);
        EXPECT_EQ(c.expectedResult, result);
        EXPECT_EQ(Joined(c.expectedSearches), Joined(files.asked)) << "names searched";
        if (!c.expectedResult || !result) continue;

        Source source = resolved.program == text.get()        ? kText
                        : resolved.program == candidate.get() ? kCandidate
                        : resolved.program == name.get()      ? kName
                                                              : kNone;
        EXPECT_STREQ(SourceName(c.expectedSource), SourceName(source)) << "program taken from";
        if (resolved.program != nullptr) {
            EXPECT_EQ(Shown(c.expectedProgram), Shown(resolved.program));
        }

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
