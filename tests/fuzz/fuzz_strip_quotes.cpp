// StripQuotes. Input: "capacity arena", then the source text (up to its
// first NUL, in a block of exactly its size).
#include "fuzz_support.h"
#include "launch_sequence.h"

namespace {

std::string Expected(std::string text) {
    if (!text.empty() && text[0] == '"') text.erase(0, 1);
    size_t last = text.find_last_not_of(" \t");
    if (last != std::string::npos && text[last] == '"') text.erase(last);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> field = SplitFields(data, size, 2);
    std::vector<unsigned> n = ParseNumbers(field[0], {520, 0});
    std::string src = AsText(field[1]);
    int capacity = n[0] % 600;

    std::unique_ptr<char[]> srcCopy = ExactCopy(src, true);
    Buffer dst(capacity, n[1] & 1);
    int result = StripQuotes(dst.data(), capacity, srcCopy.get());

    std::string expected = Expected(src);
    bool fits = expected.size() < static_cast<size_t>(capacity);
    CheckEqual("result of StripQuotes", fits ? 0 : -4, result);
    if (!fits) {
        Check(dst.Unchanged(), "StripQuotes leaves dst untouched when the text does not fit");
        return 0;
    }
    CheckEqual("output of StripQuotes", expected, dst.CheckedText("StripQuotes dst"));
    return 0;
}
