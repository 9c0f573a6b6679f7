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

TEST(ExpandReferences, ExpandsFromTheMachinesSettingsAndTheWindowsFolderFromTheSystem) {
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
        {"SystemDrive: the Windows folder's drive", "%SystemDrive%\\run.exe", 260, 0, "C:\\run.exe"},
        {"names without regard to case", "%SYSTEMROOT%|%WinDir%|%tOOLs%", 260, 0,
         "C:\\Windows|C:\\Windows|D:\\Tools"},
        {"Program Files from the machine's folders", "%ProgramFiles%\\V\\run.exe", 260, 0,
         "C:\\Program Files\\V\\run.exe"},
        {"ProgramData from the profile list, its reference expanded", "%ProgramData%\\V", 260, 0,
         "C:\\ProgramData\\V"},
        {"a machine value's references expanded once", "%ComSpec% /c", 260, 0,
         "C:\\Windows\\system32\\cmd.exe /c"},
        {"the references in those values stay", "%Outer%", 260, 0, "%SelfRef%\\x"},
        {"a value naming itself stays", "%SelfRef%", 260, 0, "%SelfRef%"},
        {"a name the machine does not define stays", "%Unset%\\run.exe", 260, 0, "%Unset%\\run.exe"},
        {"ProgramW6432 the machine does not define stays", "%ProgramW6432%\\V", 260, 0,
         "%ProgramW6432%\\V"},
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
        // The Windows folder and the Program Files are never the machine
        // environment's, nor anything of the user's.
        system.environment = {{"programfiles", "D:\\Planted"},
                              {"systemdrive", "D:"},
                              {"tools", "D:\\Tools"},
                              {"systemroot", "D:\\Planted"},
                              {"windir", "D:\\Planted"},
                              {"comspec", "%SystemRoot%\\system32\\cmd.exe"},
                              {"outer", "%Inner%\\x"},
                              {"inner", "%SelfRef%"},
                              {"selfref", "%SelfRef%"},
                              {"long", std::string(300, 'v')},
                              {"long250", long250}};
        system.currentVersion = {{"programfilesdir", "C:\\Program Files"}};
        system.profileList = {{"programdata", "%SystemDrive%\\ProgramData"}};
        SystemFacts facts = system.Facts();
        Buffer dst(c.capacity);
        int result = ExpandReferences(ExactText(c.text).get(), &facts, dst.get(), c.capacity);
        EXPECT_EQ(c.expectedResult, result);
        if (result == 0) {
            EXPECT_EQ(Shown(c.expected), Shown(dst.Text()));
        }
        for (const std::string& asked : system.valuesAsked) {
            std::string name = LowerAscii(asked.substr(asked.find(" : ") + 3));
            EXPECT_TRUE(name != "systemroot" && name != "windir" && name != "systemdrive")
                << "the Windows folder comes from the system, got a read of " << asked;
        }
    }
}

// Every name is read where only administrators can change it: the keys
// under HKLM as Windows names them.
TEST(MachineValueOf, NamesTheKeyAndValueThatHoldAName) {
    const std::string environment =
        "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
    const std::string currentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
    const std::string profileList =
        "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    struct Case {
        const char* name;
        std::string expectedKey;
        std::string expectedValue;
    } cases[] = {
        {"ProgramFiles", currentVersion, "ProgramFilesDir"},
        {"programfiles", currentVersion, "ProgramFilesDir"},
        {"ProgramFiles(x86)", currentVersion, "ProgramFilesDir (x86)"},
        {"ProgramW6432", currentVersion, "ProgramW6432Dir"},
        {"CommonProgramFiles", currentVersion, "CommonFilesDir"},
        {"CommonProgramFiles(x86)", currentVersion, "CommonFilesDir (x86)"},
        {"COMMONPROGRAMW6432", currentVersion, "CommonW6432Dir"},
        {"ProgramData", profileList, "ProgramData"},
        {"Path", environment, "Path"},
        {"ComSpec", environment, "ComSpec"},
        {"ProgramFilesX", environment, "ProgramFilesX"},
        {"Program", environment, "Program"},
    };
    for (const Case& c : cases) {
        MachineValue where = MachineValueOf(c.name);
        EXPECT_EQ(c.expectedKey + " : " + c.expectedValue,
                  std::string(where.keyPath) + " : " + where.valueName)
            << "for %" << c.name << "%";
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
        {"PATH entries expanded from the machine's settings", "inst.exe",
         {"%Unset%\\x\\inst.exe", "C:\\Windows\\Tools\\inst.exe"}, "%Unset%\\x;%SystemRoot%\\Tools", true,
         "C:\\Windows\\Tools\\inst.exe",
         {"C:\\Windows\\System32\\inst.exe", "C:\\Windows\\inst.exe", "C:\\Windows\\Tools\\inst.exe"}},
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
        std::string alias;
        bool expectedFound;
        std::string expectedPath;
    } cases[] = {
        {"both: the native one", sys + "rundll32.exe", {sys + "rundll32.exe", native + "rundll32.exe"},
         "C:\\Windows\\Sysnative", true, native + "rundll32.exe"},
        {"reference: the native one", "%SystemRoot%\\System32\\rundll32.exe",
         {sys + "rundll32.exe", native + "rundll32.exe"}, "C:\\Windows\\Sysnative", true,
         native + "rundll32.exe"},
        {"bare name: the native one", "rundll32.exe", {sys + "rundll32.exe", native + "rundll32.exe"},
         "C:\\Windows\\Sysnative", true, native + "rundll32.exe"},
        {"case and slashes as the system compares them", "c:/windows/SYSTEM32/pnputil.exe",
         {"C:\\Windows\\Sysnative/pnputil.exe"}, "C:\\Windows\\Sysnative", true,
         "C:\\Windows\\Sysnative/pnputil.exe"},
        {"native only", sys + "pnputil.exe", {native + "pnputil.exe"}, "C:\\Windows\\Sysnative",
         true, native + "pnputil.exe"},
        {"32-bit only", sys + "tool32.exe", {sys + "tool32.exe"}, "C:\\Windows\\Sysnative", true,
         sys + "tool32.exe"},
        {"in a subfolder", sys + "drivers\\x.exe", {sys + "drivers\\x.exe", native + "drivers\\x.exe"},
         "C:\\Windows\\Sysnative", true, native + "drivers\\x.exe"},
        {"a folder that only starts like it", "C:\\Windows\\System32x\\a.exe",
         {"C:\\Windows\\System32x\\a.exe", "C:\\Windows\\Sysnativex\\a.exe"}, "C:\\Windows\\Sysnative",
         true, "C:\\Windows\\System32x\\a.exe"},
        {"the 32-bit folder stays", "C:\\Windows\\SysWOW64\\a.exe", {"C:\\Windows\\SysWOW64\\a.exe"},
         "C:\\Windows\\Sysnative", true, "C:\\Windows\\SysWOW64\\a.exe"},
        {"no alias: 32-bit Windows, or none on this system", sys + "rundll32.exe",
         {sys + "rundll32.exe", native + "rundll32.exe"}, "", true, sys + "rundll32.exe"},
        {"alias path too long: the 32-bit one", sys + deep + "\\" + std::string(6, 'x'),
         {sys + deep + "\\" + std::string(6, 'x')}, "C:\\Windows\\Sysnative", true,
         sys + deep + "\\" + std::string(6, 'x')},
        {"Program Files: the native folder", "%ProgramFiles%\\V\\inst.exe",
         {"C:\\Program Files\\V\\inst.exe", "C:\\Program Files (x86)\\V\\inst.exe"},
         "C:\\Windows\\Sysnative", true, "C:\\Program Files\\V\\inst.exe"},
        {"Common Program Files: the native folder", "%commonprogramfiles%\\V\\inst.exe",
         {"C:\\Program Files\\Common Files\\V\\inst.exe",
          "C:\\Program Files (x86)\\Common Files\\V\\inst.exe"},
         "C:\\Windows\\Sysnative", true, "C:\\Program Files\\Common Files\\V\\inst.exe"},
        {"Program Files (x86) stays", "%ProgramFiles(x86)%\\V\\inst.exe",
         {"C:\\Program Files\\V\\inst.exe", "C:\\Program Files (x86)\\V\\inst.exe"},
         "C:\\Windows\\Sysnative", true, "C:\\Program Files (x86)\\V\\inst.exe"},
        {"Program Files on 32-bit Windows", "%ProgramFiles%\\V\\inst.exe",
         {"C:\\Program Files\\V\\inst.exe"}, "", true, "C:\\Program Files\\V\\inst.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + Shown(c.written));
        FakeSystem system;
        system.files = c.files;
        system.folders = {"C:\\Windows\\System32", "C:\\Windows\\Sysnative"};
        system.nativeSystemAlias = c.alias;
        // The folders as the native view of CurrentVersion holds them; names
        // of the same kind in the machine's environment count for nothing.
        system.currentVersion = {{"programfilesdir", "C:\\Program Files"},
                                 {"programfilesdir (x86)", "C:\\Program Files (x86)"},
                                 {"commonfilesdir", "C:\\Program Files\\Common Files"},
                                 {"commonfilesdir (x86)", "C:\\Program Files (x86)\\Common Files"}};
        system.environment = {{"programfiles", "C:\\Program Files (x86)"},
                              {"commonprogramfiles", "C:\\Program Files (x86)\\Common Files"}};
        ExpectLookUp(&system, c.written, c.expectedFound, c.expectedPath);
    }
}

}  // namespace
