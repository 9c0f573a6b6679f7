#include "program_lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "buffers.h"
#include "fake_system.h"

namespace {

std::string Joined(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& n : names) joined += "[" + Shown(n) + "]";
    return joined;
}

LeadBytes CodePage(unsigned codePage) {
    LeadBytes lead;
    LeadBytesForCodePage(&lead, codePage, codePage == 932 ? 2 : 1, nullptr, 0);
    return lead;
}

// Looks `written` up in `system` and checks the outcome.
void ExpectLookUp(FakeSystem* system, const std::string& written, bool expectedFound,
                  const std::string& expectedPath) {
    SystemFacts facts = system->Facts();
    Buffer found(kProgramPathCapacity);
    bool result = LookUpProgram(ExactText(written).get(), &facts, found.get(), kProgramPathCapacity);
    EXPECT_EQ(expectedFound, result);
    if (result) {
        EXPECT_EQ(Shown(expectedPath), Shown(found.Text()));
    }
}

TEST(FormOf, TellsAbsolutePathsBareNamesAndRelativePaths) {
    const std::string hyou = "\x95\x5C";  // 表 under 932: its trail byte is a backslash
    struct Case {
        std::string path;
        unsigned codePage;
        PathForm expected;
    } cases[] = {
        {"C:\\Windows\\run.exe", 1252, kAbsolutePath},
        {"c:/tools/run.exe", 1252, kAbsolutePath},
        {"\\\\server\\share\\run.exe", 1252, kAbsolutePath},
        {"//server/share/run.exe", 1252, kAbsolutePath},
        {"run.exe", 1252, kBareName},
        {"run", 1252, kBareName},
        {hyou + ".exe", 932, kBareName},
        {hyou + ".exe", 1252, kRelativePath},
        {"tools\\run.exe", 1252, kRelativePath},
        {"..\\run.exe", 1252, kRelativePath},
        {".\\run.exe", 1252, kRelativePath},
        {"C:run.exe", 1252, kRelativePath},
        {"\\run.exe", 1252, kRelativePath},
        {"1:\\run.exe", 1252, kRelativePath},
        {"\"C:\\run.exe\"", 1252, kRelativePath},
        {"", 1252, kRelativePath},
    };
    for (const Case& c : cases) {
        LeadBytes lead = CodePage(c.codePage);
        EXPECT_EQ(c.expected, FormOf(ExactText(c.path).get(), &lead))
            << Shown(c.path) << " under code page " << c.codePage;
    }
}

TEST(ExpandReferences, ExpandsAsTheSystemDoesButTakesTheWindowsFolderFromTheSystem) {
    const std::string long250(250, 'v');
    struct Case {
        const char* name;
        std::string text;
        int capacity;
        int expectedResult;
        std::string expected;
    } cases[] = {
        {"no reference", "C:\\t\\run.exe", 260, 0, "C:\\t\\run.exe"},
        {"SystemRoot from the system", "%SystemRoot%\\System32\\run.exe", 260, 0,
         "C:\\Windows\\System32\\run.exe"},
        {"windir from the system", "%windir%\\run.exe", 260, 0, "C:\\Windows\\run.exe"},
        {"names without regard to case", "%SYSTEMROOT%|%WinDir%|%tOOLs%", 260, 0,
         "C:\\Windows|C:\\Windows|D:\\Tools"},
        {"other names from the environment", "%ProgramFiles%\\V\\run.exe", 260, 0,
         "C:\\Program Files\\V\\run.exe"},
        {"a name that is not set stays", "%Unset%\\run.exe", 260, 0, "%Unset%\\run.exe"},
        {"lone percent sign", "100% sure", 260, 0, "100% sure"},
        {"two percent signs", "a%%b", 260, 0, "a%%b"},
        {"after a name that is not set", "%Unset%tools%x", 260, 0, "%Unset%tools%x"},
        {"several references", "%windir%%tools%", 260, 0, "C:\\WindowsD:\\Tools"},
        {"result fits exactly", "%tools%" + std::string(251, 'x'), 260, 0,
         "D:\\Tools" + std::string(251, 'x')},
        {"result one byte too long", "%tools%" + std::string(252, 'x'), 260, -1, ""},
        {"text too long", std::string(260, 'x'), 260, -1, ""},
        {"value longer than any program path", "%long%", 260, -1, ""},
        {"value fits its buffer", "%long250%", 260, 0, long250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + Shown(c.text));
        FakeSystem system;
        system.environment = {{"programfiles", "C:\\Program Files"},
                              {"tools", "D:\\Tools"},
                              {"systemroot", "D:\\Planted"},
                              {"windir", "D:\\Planted"},
                              {"long", std::string(300, 'v')},
                              {"long250", long250}};
        SystemFacts facts = system.Facts();
        Buffer dst(c.capacity);
        int result = ExpandReferences(ExactText(c.text).get(), &facts, dst.get(), c.capacity);
        EXPECT_EQ(c.expectedResult, result);
        if (result == 0) {
            EXPECT_EQ(Shown(c.expected), Shown(dst.Text()));
        }
        for (const std::string& name : system.variablesAsked) {
            EXPECT_NE("systemroot", LowerAscii(name)) << "the Windows folder comes from the system";
            EXPECT_NE("windir", LowerAscii(name)) << "the Windows folder comes from the system";
        }
    }
}

// Beside Tavrel.exe (D:\Downloads) and in the current folder, copies of the
// installer wait to be run in its place; only the system folders count.
TEST(LookUpProgram, FindsOnlyAbsolutePathsAndNamesInTheSystemFolders) {
    const std::string hyou = "\x95\x5C";
    struct Case {
        const char* name;
        std::string written;
        std::vector<std::string> files;
        std::string searchPath;
        bool expectedFound;
        std::string expectedPath;
        std::vector<std::string> expectedAsked;
    } cases[] = {
        {"absolute path", "C:\\V\\inst.exe", {"C:\\V\\inst.exe"}, "", true, "C:\\V\\inst.exe",
         {"C:\\V\\inst.exe"}},
        {"absolute path missing", "C:\\V\\inst.exe", {}, "", false, "", {"C:\\V\\inst.exe"}},
        {"absolute folder", "C:\\V", {}, "", false, "", {"C:\\V"}},
        {"reference expanded first", "%SystemRoot%\\System32\\inst.exe",
         {"C:\\Windows\\System32\\inst.exe"}, "", true, "C:\\Windows\\System32\\inst.exe",
         {"C:\\Windows\\System32\\inst.exe"}},
        {"bare name in the system directory", "inst.exe",
         {"C:\\Windows\\System32\\inst.exe", "C:\\Windows\\inst.exe"}, "", true,
         "C:\\Windows\\System32\\inst.exe", {"C:\\Windows\\System32\\inst.exe"}},
        {"bare name in the Windows directory", "inst.exe", {"C:\\Windows\\inst.exe"}, "", true,
         "C:\\Windows\\inst.exe", {"C:\\Windows\\System32\\inst.exe", "C:\\Windows\\inst.exe"}},
        {"bare name on an absolute PATH folder", "inst.exe", {"D:\\Tools\\inst.exe"},
         ".;;tools;D:\\Tools\\;\\\\srv\\bin", true, "D:\\Tools\\inst.exe",
         {"C:\\Windows\\System32\\inst.exe", "C:\\Windows\\inst.exe", "D:\\Tools\\inst.exe"}},
        {"relative PATH folders are skipped", "inst.exe", {".\\inst.exe", "tools\\inst.exe"},
         ".;tools;;..", false, "", {"C:\\Windows\\System32\\inst.exe", "C:\\Windows\\inst.exe"}},
        {"UNC PATH folder", "inst.exe", {"\\\\srv\\bin\\inst.exe"}, "\\\\srv\\bin", true,
         "\\\\srv\\bin\\inst.exe",
         {"C:\\Windows\\System32\\inst.exe", "C:\\Windows\\inst.exe", "\\\\srv\\bin\\inst.exe"}},
        {"double-byte PATH folder ending in trail byte 0x5C", "inst.exe",
         {"D:\\" + hyou + "\\inst.exe"}, "D:\\" + hyou, true, "D:\\" + hyou + "\\inst.exe",
         {"C:\\Windows\\System32\\inst.exe", "C:\\Windows\\inst.exe", "D:\\" + hyou + "\\inst.exe"}},
        {"bare folder name", "System32", {}, "", false, "",
         {"C:\\Windows\\System32\\System32", "C:\\Windows\\System32"}},
        {"relative path is never looked up", "tools\\inst.exe", {"tools\\inst.exe"}, "D:\\Tools",
         false, "", {}},
        {"parent folder", "..\\inst.exe", {"..\\inst.exe"}, "", false, "", {}},
        {"drive-relative", "C:inst.exe", {"C:inst.exe"}, "", false, "", {}},
        {"unexpanded name that is not set", "%Unset%\\inst.exe", {"%Unset%\\inst.exe"}, "", false,
         "", {}},
        {"quoted path", "\"C:\\V\\inst.exe\"", {"C:\\V\\inst.exe"}, "", false, "", {}},
        {"empty", "", {}, "", false, "", {}},
        {"expansion too long", "%SystemRoot%\\" + std::string(250, 'x'), {}, "", false, "", {}},
        {"joined path too long", std::string(250, 'x'), {}, "", false, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + Shown(c.written));
        FakeSystem system;
        system.lead = CodePage(932);
        system.files = c.files;
        system.folders = {"C:\\V", "C:\\Windows\\System32"};
        system.searchPath = c.searchPath;
        ExpectLookUp(&system, c.written, c.expectedFound, c.expectedPath);
        EXPECT_EQ(Joined(c.expectedAsked), Joined(system.asked)) << "paths looked at";
    }
}

}  // namespace

namespace {

// A 32-bit Tavrel on 64-bit Windows: the native system directory is
// reached through its alias, and Program Files means the native one.
TEST(LookUpProgram, UnderWow64TakesTheNativeProgram) {
    const std::string sys = "C:\\Windows\\System32\\";
    const std::string native = "C:\\Windows\\Sysnative\\";
    const std::string deep(230, 'd');
    struct Case {
        const char* name;
        std::string written;
        std::vector<std::string> files;
        bool wow64;
        std::string alias;
        bool expectedFound;
        std::string expectedPath;
    } cases[] = {
        {"both: the native one", sys + "rundll32.exe", {sys + "rundll32.exe", native + "rundll32.exe"},
         true, "C:\\Windows\\Sysnative", true, native + "rundll32.exe"},
        {"reference: the native one", "%SystemRoot%\\System32\\rundll32.exe",
         {sys + "rundll32.exe", native + "rundll32.exe"}, true, "C:\\Windows\\Sysnative", true,
         native + "rundll32.exe"},
        {"bare name: the native one", "rundll32.exe", {sys + "rundll32.exe", native + "rundll32.exe"},
         true, "C:\\Windows\\Sysnative", true, native + "rundll32.exe"},
        {"case and slashes as the system compares them", "c:/windows/SYSTEM32/pnputil.exe",
         {"C:\\Windows\\Sysnative/pnputil.exe"}, true, "C:\\Windows\\Sysnative", true,
         "C:\\Windows\\Sysnative/pnputil.exe"},
        {"native only", sys + "pnputil.exe", {native + "pnputil.exe"}, true, "C:\\Windows\\Sysnative",
         true, native + "pnputil.exe"},
        {"32-bit only", sys + "tool32.exe", {sys + "tool32.exe"}, true, "C:\\Windows\\Sysnative", true,
         sys + "tool32.exe"},
        {"in a subfolder", sys + "drivers\\x.exe", {sys + "drivers\\x.exe", native + "drivers\\x.exe"},
         true, "C:\\Windows\\Sysnative", true, native + "drivers\\x.exe"},
        {"a folder that only starts like it", "C:\\Windows\\System32x\\a.exe",
         {"C:\\Windows\\System32x\\a.exe", "C:\\Windows\\Sysnativex\\a.exe"}, true,
         "C:\\Windows\\Sysnative", true, "C:\\Windows\\System32x\\a.exe"},
        {"the 32-bit folder stays", "C:\\Windows\\SysWOW64\\a.exe", {"C:\\Windows\\SysWOW64\\a.exe"},
         true, "C:\\Windows\\Sysnative", true, "C:\\Windows\\SysWOW64\\a.exe"},
        {"no alias on this system", sys + "rundll32.exe", {sys + "rundll32.exe", native + "rundll32.exe"},
         true, "", true, sys + "rundll32.exe"},
        {"32-bit Windows", sys + "rundll32.exe", {sys + "rundll32.exe", native + "rundll32.exe"}, false,
         "", true, sys + "rundll32.exe"},
        {"alias path too long: the 32-bit one", sys + deep + "\\" + std::string(6, 'x'),
         {sys + deep + "\\" + std::string(6, 'x')}, true, "C:\\Windows\\Sysnative", true,
         sys + deep + "\\" + std::string(6, 'x')},
        {"Program Files: the native folder", "%ProgramFiles%\\V\\inst.exe",
         {"C:\\Program Files\\V\\inst.exe", "C:\\Program Files (x86)\\V\\inst.exe"}, true,
         "C:\\Windows\\Sysnative", true, "C:\\Program Files\\V\\inst.exe"},
        {"Common Program Files: the native folder", "%commonprogramfiles%\\V\\inst.exe",
         {"C:\\Program Files\\Common Files\\V\\inst.exe",
          "C:\\Program Files (x86)\\Common Files\\V\\inst.exe"},
         true, "C:\\Windows\\Sysnative", true, "C:\\Program Files\\Common Files\\V\\inst.exe"},
        {"Program Files (x86) stays", "%ProgramFiles(x86)%\\V\\inst.exe",
         {"C:\\Program Files\\V\\inst.exe", "C:\\Program Files (x86)\\V\\inst.exe"}, true,
         "C:\\Windows\\Sysnative", true, "C:\\Program Files (x86)\\V\\inst.exe"},
        {"Program Files on 32-bit Windows", "%ProgramFiles%\\V\\inst.exe",
         {"C:\\Program Files\\V\\inst.exe", "C:\\Program Files (x86)\\V\\inst.exe"}, false, "", true,
         "C:\\Program Files (x86)\\V\\inst.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + Shown(c.written));
        FakeSystem system;
        system.files = c.files;
        system.folders = {"C:\\Windows\\System32", "C:\\Windows\\Sysnative"};
        system.wow64 = c.wow64;
        system.nativeSystemAlias = c.alias;
        // The environment of a 32-bit process on 64-bit Windows; the values
        // on 32-bit Windows differ, but the choice of name is what counts.
        system.environment = {{"programfiles", "C:\\Program Files (x86)"},
                              {"programw6432", "C:\\Program Files"},
                              {"programfiles(x86)", "C:\\Program Files (x86)"},
                              {"commonprogramfiles", "C:\\Program Files (x86)\\Common Files"},
                              {"commonprogramw6432", "C:\\Program Files\\Common Files"}};
        ExpectLookUp(&system, c.written, c.expectedFound, c.expectedPath);
    }
}

TEST(ExpandReferences, UnderWow64WithoutNativeValuesKeepsTheEnvironmentOnes) {
    FakeSystem system;
    system.wow64 = true;
    system.nativeSystemAlias = "C:\\Windows\\Sysnative";
    system.environment = {{"programfiles", "C:\\Program Files (x86)"}};
    SystemFacts facts = system.Facts();
    Buffer dst(kProgramPathCapacity);
    ASSERT_EQ(0, ExpandReferences("%ProgramFiles%\\V", &facts, dst.get(), kProgramPathCapacity));
    EXPECT_EQ("C:\\Program Files (x86)\\V", dst.Text());
}

}  // namespace
