// ExpandReferences. Input fields: "capacity arena" (a third number, once
// WOW64, is read and not used), the machine's
// values ("name=value" items separated by '|'), the Windows directory, then
// the text (up to its first NUL, in a block of exactly its size).
//
// Capacities run up to kProgramPathCapacity, the buffer every caller
// passes: a variable's value is read into a buffer of that size, so a value
// longer than 259 bytes fails the expansion whatever the capacity.
#include "fuzz_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> field = SplitFields(data, size, 4);
    std::vector<unsigned> n = ParseNumbers(field[0], {kProgramPathCapacity, 0, 0});
    int capacity = static_cast<int>(n[0] % (kProgramPathCapacity + 1));
    FuzzSystem system;
    system.lookUpExpected = false;
    system.SetEnvironment(field[1]);
    system.systemDirectory = "C:\\Windows\\System32";
    system.windowsDirectory = AsText(field[2]);
    std::string text = AsText(field[3]);

    FactsCopy copy(&system);
    std::unique_ptr<char[]> textCopy = ExactCopy(text, true);
    Buffer dst(capacity, n[1] & 1);
    int result = ExpandReferences(textCopy.get(), &copy.facts, dst.data(), capacity);

    std::string expected;
    bool fits = ExpectedExpansion(text, system, capacity, &expected);
    std::string what = "ExpandReferences of " + Escaped(text) + " into " + std::to_string(capacity) +
                       " bytes";
    Check(memcmp(textCopy.get(), text.c_str(), text.size() + 1) == 0, what + ": text unchanged");
    CheckEqual(what + ": result", fits ? 0 : -1, result);
    // Each value read is the one of a name written between percent signs,
    // in the text or in a value read before.
    std::string written = LowerAscii(text);
    for (const auto& value : system.environment) written += "|" + LowerAscii(value.second);
    for (const std::string& valueName : system.valuesAsked) {
        std::vector<std::string> names = {valueName};
        for (const FolderValue& folder : FolderValues()) {
            if (valueName == folder.value) names.push_back(folder.name);
        }
        bool asked = false;
        for (const std::string& name : names) {
            std::string key;
            asked |= ExpectedValueName(name, &key) == valueName &&
                     written.find("%" + name + "%") != std::string::npos;
        }
        Check(asked, what + ": value read, " + Escaped(valueName) + ", is of a name written between percent signs");
    }
    if (capacity == 0) {
        Check(dst.Unchanged(), what + ": nothing written");
        return 0;
    }
    std::string got = dst.CheckedText(what);
    if (fits) CheckEqual(what + ": expansion", expected, got);
    return 0;
}
