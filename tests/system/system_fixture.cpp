#include "system_fixture.h"

#include <fstream>
#include <iterator>
#include <sstream>

const char kTestRoot[] = "C:\\tavrel-tests";
const char kTestClass[] = "tavreltestfile";
const char kMachineEnvironmentKey[] = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kSetupBrokenJapanese[] = "このセットアップは壊れています。";
const char kOsUnsupportedJapanese[] = "このセットアップは、このOSをサポートしていません。";
const char kSetupBrokenEnglish[] = "This setup is broken.";
const char kOsUnsupportedEnglish[] = "This setup does not support this operating system.";

namespace {

// The machine's classes are written where they are kept, not through
// HKEY_CLASSES_ROOT: on Windows a write there lands in the user's key of
// the same name when there is one.
const char kMachineClasses[] = "Software\\Classes\\";

void DeleteMachineClassKey(const std::string& subKey) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kMachineClasses + subKey).c_str());
}

void SetValue(HKEY root, const std::string& subKey, const RegistryValue& value) {
    if (!value.present) return;
    const char* rootName = root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\";
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr))
        << "creating " << rootName << subKey;
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, "", 0, value.type,
                             reinterpret_cast<const BYTE*>(value.data.data()),
                             static_cast<DWORD>(value.data.size())))
        << "setting " << rootName << subKey;
    RegCloseKey(key);
}

std::string SafeName(const std::string& name) {
    std::string safe;
    for (char c : name) safe += (c == '/' || c == '\\' || c == ':') ? '_' : c;
    return safe;
}

// What follows the program name (quoted or not) and the one space after it.
std::string ArgumentsOf(const std::string& commandLine) {
    size_t end;
    if (!commandLine.empty() && commandLine[0] == '"') {
        end = commandLine.find('"', 1);
        end = end == std::string::npos ? commandLine.size() : end + 1;
    } else {
        end = commandLine.find(' ');
        if (end == std::string::npos) end = commandLine.size();
    }
    if (end < commandLine.size() && commandLine[end] == ' ') ++end;
    return commandLine.substr(end);
}

}  // namespace

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

RegistryValue StringValue(const std::string& text) {
    RegistryValue value;
    value.present = true;
    value.type = REG_SZ;
    value.data = text + std::string(1, '\0');
    return value;
}

RegistryValue TypedValue(DWORD type, const std::string& bytes) {
    RegistryValue value;
    value.present = true;
    value.type = type;
    value.data = bytes;
    return value;
}

RegistryValue Missing() { return RegistryValue(); }

std::string TestRecorderPath() { return std::string(kTestRoot) + "\\bin\\recorder.exe"; }

std::string TestProgramPath() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    return std::string(path, length < sizeof(path) ? length : 0);
}

std::string TestFilesDir() {
    const std::string program = TestProgramPath();
    return program.substr(0, program.find_last_of('\\') + 1);
}

std::string TavrelExeSourcePath() { return TestFilesDir() + "Tavrel.exe"; }
std::string RecorderSourcePath() { return TestFilesDir() + "recorder.exe"; }
std::string Recorder64SourcePath() { return TestFilesDir() + "recorder64.exe"; }
std::string DdeServerSourcePath() { return TestFilesDir() + "dde_server.exe"; }
std::string DemoSourceDir() { return TestFilesDir() + "demo\\"; }

std::string MessageText(TavrelMessage message) {
    const bool japanese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
    if (message == kSetupBroken) return japanese ? kSetupBrokenJapanese : kSetupBrokenEnglish;
    if (message == kOsUnsupported) return japanese ? kOsUnsupportedJapanese : kOsUnsupportedEnglish;
    return "";
}

std::string WithoutDisplayLanguage(const char* language) {
    WCHAR name[LOCALE_NAME_MAX_LENGTH] = {};
    LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0);
    if (WideToUtf8(name) == language) return "";
    return std::string("needs the display language ") + language + "; this system's is " + WideToUtf8(name);
}

std::string WithoutCodePage(UINT codePage) {
    if (GetACP() == codePage) return "";
    return "needs the ANSI code page " + std::to_string(codePage) + "; this system's is " +
           std::to_string(GetACP());
}

bool LocaleRequired() { return EnvironmentValue("TAVREL_TESTS_REQUIRE_LOCALE") == "1"; }

std::string WindowsFolder() {
    char path[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryA(path, sizeof(path));
    return length > 0 && length < sizeof(path) ? path : "";
}

std::string SystemFolder() {
    char path[MAX_PATH] = {};
    UINT length = GetSystemDirectoryA(path, sizeof(path));
    return length > 0 && length < sizeof(path) ? path : "";
}

std::string WithSystemFolder(std::string command) {
    const std::string kMark = "{system}";
    size_t at = command.find(kMark);
    if (at != std::string::npos) command.replace(at, kMark.size(), SystemFolder());
    return command;
}

bool UnderWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string SystemFolderSeenByItsPrograms() {
    char path[MAX_PATH] = {};
    if (UnderWow64()) {
        GetSystemWow64DirectoryA(path, sizeof(path));
    } else {
        GetSystemDirectoryA(path, sizeof(path));
    }
    return path;
}

std::string EnvironmentValue(const char* name) {
    char value[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) ? value : "";
}

std::string NativeProgramFiles() {
    return EnvironmentValue(UnderWow64() ? "ProgramW6432" : "ProgramFiles");
}

std::string RegistryValueIn(REGSAM view, const char* subKey, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return "(missing)";
    }
    char value[256] = {};
    DWORD size = sizeof(value) - 1;
    LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? value : "(missing)";
}

bool CopyInto(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool PlaceOutside(const std::string& from, const std::string& to) {
    NoteAddedFile(to);
    return CopyInto(from, to);
}

void MakeFolderOutside(const std::string& folder) {
    NoteAddedFolder(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void SystemTest::SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(GuardRegistration(&error)) << "keeping the .inf registration safe: " << error;
    CreateDirectoryA(kTestRoot, nullptr);
    CreateDirectoryA((std::string(kTestRoot) + "\\bin").c_str(), nullptr);
    ASSERT_TRUE(CopyInto(RecorderSourcePath(), std::string(kTestRoot) + "\\bin\\recorder.exe"))
        << "copying " << RecorderSourcePath();
}

void SystemTest::SetUp() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    caseDir_ = std::string(kTestRoot) + "\\" + SafeName(std::string(info->test_suite_name()) + "." +
                                                         info->name()) + "\\";
    CreateDirectoryA(caseDir_.c_str(), nullptr);
    recorderPath_ = TestRecorderPath();
    recorderLog_ = caseDir_ + "recorder.log";
    DeleteFileA(recorderLog_.c_str());
    SetEnvironmentVariableA("TAVREL_RECORDER_LOG", recorderLog_.c_str());
    SetRecorderBehaviour(0, 0);
}

void SystemTest::TearDownTestSuite() { ReleaseRegistration(); }

void SystemTest::TearDown() {
    // Leave the machine's own registration as it was for the next test.
    DeleteMachineClassKey(kTestClass);
    for (const std::string& key : classKeys_) DeleteMachineClassKey(key);
    RestoreRegistration();
}

void SystemTest::OwnClassKey(const std::string& classKey) {
    classKeys_.push_back(classKey);
    NoteClassKey(classKey);
}

void SystemTest::RegisterInstallCommand(const RegistryValue& infClass, const RegistryValue& command) {
    RegisterInstallCommandUnder(kTestClass, infClass, command);
}

void SystemTest::RegisterInstallCommandUnder(const std::string& classKey,
                                             const RegistryValue& infClass,
                                             const RegistryValue& command) {
    OwnClassKey(classKey.substr(0, classKey.find('\\')));
    DeleteMachineClassKey(".inf");
    DeleteMachineClassKey(classKey);
    SetValue(HKEY_LOCAL_MACHINE, kMachineClasses + std::string(".inf"), infClass);
    SetValue(HKEY_LOCAL_MACHINE, kMachineClasses + classKey + "\\shell\\Install\\command", command);
}

void SystemTest::SetUserClassValue(const std::string& subKey, const RegistryValue& value) {
    const std::string classKey = subKey.substr(0, subKey.find('\\'));
    ASSERT_TRUE(NoteUserClassKey(classKey)) << "keeping HKCU\\Software\\Classes\\" << classKey << " safe";
    SetValue(HKEY_CURRENT_USER, "Software\\Classes\\" + subKey, value);
}

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void SystemTest::RegisterInstallCommand(const std::string& command) {
    RegisterInstallCommand(StringValue(kTestClass), StringValue(command));
}

void SystemTest::SetRecorderBehaviour(DWORD sleepMs, DWORD exitCode) {
    SetEnvironmentVariableA("TAVREL_RECORDER_SLEEP_MS", std::to_string(sleepMs).c_str());
    SetEnvironmentVariableA("TAVREL_RECORDER_EXIT_CODE", std::to_string(exitCode).c_str());
}

RunResult SystemTest::RunTavrel(const std::string& argument, DWORD timeoutMs) {
    return RunTavrelIn(caseDir_, argument, timeoutMs);
}

std::string SystemTest::PlaceTavrel(const std::string& folder) {
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string exe = folder + "Tavrel.exe";
    EXPECT_TRUE(CopyInto(TavrelExeSourcePath(), exe)) << "copying Tavrel.exe to " << exe;
    return exe;
}

RunResult SystemTest::RunTavrelIn(const std::string& folder, const std::string& argument,
                                  DWORD timeoutMs) {
    std::string exe = PlaceTavrel(folder);
    std::string commandLine = "\"" + exe + "\"";
    if (!argument.empty()) commandLine += " " + argument;
    return RunRawCommandLine(exe, commandLine, timeoutMs);
}

RunResult SystemTest::RunRawCommandLine(const std::string& exePath, const std::string& commandLine,
                                        DWORD timeoutMs) {
    RunOptions options;
    options.timeoutMs = timeoutMs;
    RunResult result = RunProcess(exePath, commandLine, options);
    EXPECT_TRUE(result.started) << "could not start " << exePath << " (error "
                                << result.startError << ")";
    EXPECT_FALSE(result.timedOut) << "Tavrel.exe did not end within " << ScaledMs(timeoutMs) << " ms";
    return result;
}

void ExpectNoBox(const RunResult& run) {
    EXPECT_TRUE(run.boxes.empty()) << "unexpected box: " << (run.boxes.empty() ? "" : run.boxes[0].text);
}

void ExpectOneBox(const RunResult& run, const std::string& text) {
    ASSERT_EQ(1u, run.boxes.size()) << "expected one message box";
    EXPECT_EQ(text, run.boxes[0].text);
}

void ExpectOneBox(const RunResult& run, TavrelMessage message) {
    ASSERT_EQ(1u, run.boxes.size()) << "expected message " << static_cast<int>(message);
    EXPECT_EQ(MessageText(message), run.boxes[0].text) << "message " << static_cast<int>(message);
}

void ExpectBoxes(const RunResult& run, TavrelMessage message) {
    if (message == kNoBox) {
        ExpectNoBox(run);
    } else {
        ExpectOneBox(run, message);
    }
}

void SystemTest::ExpectRecorderGot(const std::string& arguments) const {
    std::vector<RecorderRun> runs = Recorded();
    ASSERT_EQ(1u, runs.size()) << "the recorder should have run once";
    EXPECT_EQ(arguments, runs[0].arguments) << "whole command line: " << runs[0].commandLine;
}

void SystemTest::ExpectNothingLaunched() const {
    std::vector<RecorderRun> runs = Recorded();
    EXPECT_TRUE(runs.empty()) << "nothing should have been launched, but the recorder got: "
                              << runs[0].commandLine;
}

std::string SystemTest::ArgumentAsReceived(const std::string& argument) {
    RunResult run = RunProcess(recorderPath_, "\"" + recorderPath_ + "\" " + argument);
    EXPECT_TRUE(run.started && !run.timedOut) << "running the recorder directly";
    std::vector<RecorderRun> runs = Recorded();
    DeleteFileA(recorderLog_.c_str());
    return runs.size() == 1 ? runs[0].arguments : "(the recorder did not run)";
}

std::vector<RecorderRun> SystemTest::Recorded() const {
    std::vector<RecorderRun> runs;
    std::ifstream in(recorderLog_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("command-line=", 0) == 0) {
            runs.emplace_back();
            runs.back().commandLine = FromHex(line.substr(13));
            runs.back().arguments = ArgumentsOf(runs.back().commandLine);
        } else if (line.rfind("module=", 0) == 0 && !runs.empty()) {
            runs.back().module = FromHex(line.substr(7));
        } else if (line.rfind("started=", 0) == 0 && !runs.empty()) {
            runs.back().started = std::stoull(line.substr(8));
        } else if (line.rfind("ended=", 0) == 0 && !runs.empty()) {
            runs.back().ended = std::stoull(line.substr(6));
        }
    }
    return runs;
}
