// SkipProgramName. Input: "codePage maxCharSize", then lead-byte ranges as
// for the path split, then the process command line (up to its first NUL,
// in a block of exactly its size).
#include "fuzz_support.h"
#include "launch_sequence.h"

namespace {

size_t Expected(const std::string& line, const LeadBytes& lead) {
    auto isBlank = [&](size_t i) { return line[i] >= 0x01 && static_cast<unsigned char>(line[i]) <= 0x20; };
    size_t n = line.size(), i = 0;
    if (n > 0 && line[0] == '"') {
        // Walk whole characters to the closing quote; none closes: take all.
        for (i = 1; i < n && line[i] != '"';) {
            bool pair = lead.isLead[static_cast<unsigned char>(line[i])] && i + 1 < n;
            i += pair ? 2 : 1;
        }
        if (i < n) ++i;
    } else {
        while (i < n && !isBlank(i)) ++i;
    }
    while (i < n && isBlank(i)) ++i;
    return i;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> field = SplitFields(data, size, 3);
    std::vector<unsigned> n = ParseNumbers(field[0], {932, 2});
    LeadBytes lead = CheckedLeadBytes(n[0], n[1], field[1]);
    std::string line = AsText(field[2]);

    std::unique_ptr<char[]> lineCopy = ExactCopy(line, true);
    const char* arguments = SkipProgramName(lineCopy.get(), &lead);

    long offset = arguments - lineCopy.get();
    Check(offset >= 0 && static_cast<size_t>(offset) <= line.size(),
          "SkipProgramName points into the command line " + Escaped(line));
    CheckEqual("arguments of " + Escaped(line), line.substr(Expected(line, lead)), line.substr(offset));
    return 0;
}
