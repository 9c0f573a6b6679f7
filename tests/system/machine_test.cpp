// Only the machine's settings decide which installer runs. Tavrel is
// started with an environment in which the user's own values point at a
// planted copy of the installer: ProgramFiles, ProgramW6432,
// CommonProgramFiles, PATH and a variable the machine also defines (an
// elevated process gets the user's variables over the machine's). The
// planted copy must never run; the one the machine's settings name does.
#include <cstring>
#include <string>
#include <vector>

#include "system_fixture.h"

namespace {

const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kProgram[] = "tmachine.exe";
const char kProductFolder[] = "Tavrel Machine Test";

// A value of the machine's environment, as it was before the test.
struct SavedValue {
    std::string name;
    bool present = false;
    DWORD type = REG_NONE;
    std::string data;
};

SavedValue ReadMachineEnvironment(const char* name) {
    SavedValue saved;
    saved.name = name;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineEnvironmentKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return saved;
    }
    char data[32768];
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key, name, nullptr, &saved.type, reinterpret_cast<BYTE*>(data), &size) ==
        ERROR_SUCCESS) {
        saved.present = true;
        saved.data.assign(data, size);
    }
    RegCloseKey(key);
    return saved;
}

void WriteMachineEnvironment(const SavedValue& value) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineEnvironmentKey, 0, KEY_SET_VALUE, &key))
        << "opening HKLM\\" << kMachineEnvironmentKey;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, value.name.c_str(), 0, value.type,
                                            reinterpret_cast<const BYTE*>(value.data.data()),
                                            static_cast<DWORD>(value.data.size())))
        << "setting " << value.name;
    RegCloseKey(key);
}

// The text of a REG_SZ or REG_EXPAND_SZ value as stored, without its NUL.
std::string TextOf(const SavedValue& value) {
    return value.present ? std::string(value.data.c_str()) : std::string();
}

SavedValue ExpandableText(const char* name, const std::string& text) {
    SavedValue value;
    value.name = name;
    value.present = true;
    value.type = REG_EXPAND_SZ;
    value.data = text + std::string(1, '\0');
    return value;
}

struct MachineCase {
    const char* name;
    const char* command;  // REG_EXPAND_SZ; %1 stands for the .inf path
};

class InheritedEnvironment : public SystemTest, public ::testing::WithParamInterface<MachineCase> {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        planted_ = caseDir_ + "planted";
        machineFolder_ = caseDir_ + "machine";
        for (const std::string& folder : {planted_, planted_ + "\\" + kProductFolder, machineFolder_}) {
            CreateDirectoryA(folder.c_str(), nullptr);
        }
        for (const std::string& copy :
             {planted_ + "\\" + kProgram, planted_ + "\\" + kProductFolder + "\\" + kProgram,
              machineFolder_ + "\\" + kProgram}) {
            ASSERT_TRUE(CopyInto(recorderPath_, copy)) << "copying the recorder to " << copy;
        }
        // The machine's own Program Files, as its native view names it.
        std::string programFiles = NativeRegistryValue(kCurrentVersionKey, "ProgramFilesDir");
        ASSERT_NE("(missing)", programFiles);
        machineProduct_ = programFiles + "\\" + kProductFolder;
        MakeFolderOutside(machineProduct_);
        ASSERT_TRUE(PlaceOutside(recorderPath_, machineProduct_ + "\\" + kProgram));

        // The machine defines TAVRELTOOLS and has one more Path folder; both
        // are put back after the test (registry_guard.h).
        const SavedValue machinePath = ReadMachineEnvironment("PATH");
        ASSERT_TRUE(machinePath.present) << "the machine's environment should have a Path";
        for (const char* name : {"TAVRELTOOLS", "PATH"}) {
            ASSERT_TRUE(NoteMachineValue(kMachineEnvironmentKey, name)) << "keeping the machine's " << name << " safe";
        }
        WriteMachineEnvironment(ExpandableText("TAVRELTOOLS", machineFolder_));
        WriteMachineEnvironment(ExpandableText("PATH", TextOf(machinePath) + ";" + machineFolder_));

        // The user's values, inherited by Tavrel.
        for (const char* name : {"ProgramFiles", "ProgramW6432", "CommonProgramFiles", "TAVRELTOOLS", "PATH"}) {
            char value[32768];
            DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
            inherited_.push_back({name, length > 0, length > 0 ? std::string(value, length) : ""});
            std::string planted = std::string(name) == "PATH" ? planted_ + ";" + inherited_.back().value
                                                             : planted_;
            SetEnvironmentVariableA(name, planted.c_str());
        }
    }

    void TearDown() override {
        for (const Inherited& variable : inherited_) {
            SetEnvironmentVariableA(variable.name.c_str(), variable.set ? variable.value.c_str() : nullptr);
        }
        SystemTest::TearDown();
    }

    struct Inherited {
        std::string name;
        bool set;
        std::string value;
    };
    std::string planted_, machineFolder_, machineProduct_;
    std::vector<Inherited> inherited_;
};

// Where the machine's settings put the installer the command names. Where
// the machine defines no ProgramW6432 (32-bit Windows, and Wine), the
// reference stays as written and only the program's name is looked up, on
// the machine's Path.
std::string MachineInstaller(const std::string& caseName, const std::string& machineFolder,
                             const std::string& machineProduct) {
    if (caseName == "ProgramFiles") return machineProduct + "\\" + kProgram;
    if (caseName == "ProgramW6432") {
        std::string native = NativeRegistryValue(kCurrentVersionKey, "ProgramW6432Dir");
        if (native != "(missing)") return native + "\\" + kProductFolder + "\\" + kProgram;
    }
    return machineFolder + "\\" + kProgram;
}

TEST_P(InheritedEnvironment, NeverDecidesWhichInstallerRuns) {
    const MachineCase& c = GetParam();
    std::string command = c.command;
    RegisterInstallCommand(StringValue(kTestClass), TypedValue(REG_EXPAND_SZ, command + std::string(1, '\0')));
    RunResult run = RunTavrel("C:\\d\\x.inf");
    EXPECT_EQ(ExitCodeOf(kExitLaunched), run.exitCode);
    ExpectNoBox(run);
    std::vector<RecorderRun> runs = Recorded();
    for (const RecorderRun& r : runs) {
        EXPECT_NE(0, _strnicmp(planted_.c_str(), r.module.c_str(), planted_.size()))
            << "expected no planted copy to run, ran " << r.module;
    }
    std::string expected = MachineInstaller(c.name, machineFolder_, machineProduct_);
    ASSERT_EQ(1u, runs.size()) << "expected " << expected << " to run once";
    EXPECT_EQ(0, lstrcmpiA(expected.c_str(), runs[0].module.c_str()))
        << "expected " << expected << ", ran " << runs[0].module;
    EXPECT_EQ("\"C:\\d\\x.inf\"", runs[0].arguments);
}

const MachineCase kMachineCases[] = {
    {"ProgramFiles", "%ProgramFiles%\\Tavrel Machine Test\\tmachine.exe \"%1\""},
    {"ProgramW6432", "%ProgramW6432%\\Tavrel Machine Test\\tmachine.exe \"%1\""},
    {"MachineVariable", "%TAVRELTOOLS%\\tmachine.exe \"%1\""},
    {"MachinePath", "tmachine.exe \"%1\""},
};

INSTANTIATE_TEST_SUITE_P(Machine, InheritedEnvironment, ::testing::ValuesIn(kMachineCases),
                         CaseName<MachineCase>);

}  // namespace
