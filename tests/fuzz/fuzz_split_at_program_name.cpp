// SplitAtProgramName. Input: "programCapacity arena", then the command line
// (up to its first NUL, in a block of exactly its size).
#include "fuzz_support.h"
#include "execute_and_wait.h"

namespace {

struct Split {
    std::string program;
    size_t parameters;  // offset in the text, npos for none
};

// Returns false for an empty program.
bool Expected(const std::string& text, Split* split) {
    ExpectedSystemReading(text, &split->program, &split->parameters);
    return !split->program.empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> field = SplitFields(data, size, 2);
    std::vector<unsigned> n = ParseNumbers(field[0], {260, 0});
    std::string text = AsText(field[1]);
    int capacity = n[0] % 300;

    std::unique_ptr<char[]> textCopy = ExactCopy(text, true);
    Buffer program(capacity, n[1] & 1);
    ResolvedCommand resolved = {nullptr, nullptr};
    bool found = SplitAtProgramName(textCopy.get(), program.data(), capacity, &resolved);

    Split want;
    bool expectFound = Expected(text, &want) && want.program.size() < static_cast<size_t>(capacity);
    std::string what = "SplitAtProgramName of " + Escaped(text) + " into " + std::to_string(capacity) + " bytes";
    CheckEqual(what + ": result", expectFound, found);
    Check(program.SurroundIntact(), what + ": bytes around the program buffer unchanged");
    if (!found) return 0;
    Check(resolved.program == program.data(), what + ": program in the caller's buffer");
    CheckEqual(what + ": program", want.program, program.CheckedText(what));
    const char* params = want.parameters == std::string::npos ? nullptr : textCopy.get() + want.parameters;
    if (resolved.parameters != params) {
        Fail(what + ": parameters", params ? Escaped(params) : "none",
             resolved.parameters ? Escaped(resolved.parameters) : "none");
    }
    return 0;
}
