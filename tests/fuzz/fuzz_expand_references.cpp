// ExpandReferences. Input fields: "capacity arena wow64", the environment
// ("name=value" items separated by '|'), the Windows directory, then the
// text (up to its first NUL, in a block of exactly its size).
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
    system.wow64 = n[2] & 1;
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
    // Names are asked for as written; under WOW64 the native Program Files
    // names are asked for first.
    std::string lowerText = LowerAscii(text);
    for (const std::string& name : system.variablesAsked) {
        bool asked = text.find("%" + name + "%") != std::string::npos ||
                     (system.wow64 && name == "ProgramW6432" &&
                      lowerText.find("%programfiles%") != std::string::npos) ||
                     (system.wow64 && name == "CommonProgramW6432" &&
                      lowerText.find("%commonprogramfiles%") != std::string::npos);
        Check(asked, what + ": variable asked for, " + Escaped(name) + ", is written between percent signs");
    }
    if (capacity == 0) {
        Check(dst.Unchanged(), what + ": nothing written");
        return 0;
    }
    std::string got = dst.CheckedText(what);
    if (fits) CheckEqual(what + ": expansion", expected, got);
    return 0;
}
