// ReplaceToken. Input: "dstCapacity srcCapacity arena", then the token, the
// replacement and the source bytes, one field each. The source buffer is
// exactly srcCapacity bytes (the source cut there, or followed by a NUL and
// junk), so a source with no NUL in it must not be read past.
#include "fuzz_support.h"
#include "replace_token.h"

namespace {

// Left to right, each occurrence replaced while the replacement fits in
// front of the NUL; after the first that does not, the rest stay as written.
int Expected(const std::string& srcBuffer, const std::string& token,
             const std::string& replacement, int dstCapacity, std::string* out) {
    if (token.empty() || srcBuffer.empty() || token.size() > srcBuffer.size()) return -1;
    std::string src = AsText(srcBuffer);
    size_t limit = dstCapacity - 1;
    auto put = [&](const std::string& bytes) { out->append(bytes, 0, limit - out->size()); };
    bool replacing = true;
    for (size_t i = 0; i < src.size();) {
        if (src.compare(i, token.size(), token) != 0) {
            put(src.substr(i++, 1));
            continue;
        }
        if (replacing && out->size() + replacement.size() <= limit) {
            out->append(replacement);
        } else {
            replacing = false;
            put(token);
        }
        i += token.size();
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> field = SplitFields(data, size, 4);
    std::string token = AsText(field[1]), replacement = AsText(field[2]), src = field[3];
    std::vector<unsigned> n = ParseNumbers(field[0], {270, static_cast<unsigned>(src.size()) + 1, 0});
    int dstCapacity = 1 + n[0] % 1100;
    size_t srcCapacity = n[1] % (src.size() + 9);

    std::string srcBuffer = src.substr(0, srcCapacity);
    if (srcBuffer.size() < srcCapacity) srcBuffer += '\0';
    srcBuffer.resize(srcCapacity, 'J');

    std::unique_ptr<char[]> srcCopy = ExactCopy(srcBuffer, false);
    std::unique_ptr<char[]> tokenCopy = ExactCopy(token, true);
    std::unique_ptr<char[]> replacementCopy = ExactCopy(replacement, true);
    Buffer dst(dstCapacity, n[2] & 1);

    int result = ReplaceToken(srcCopy.get(), static_cast<int>(srcCapacity), tokenCopy.get(),
                              replacementCopy.get(), dst.data(), dstCapacity);

    std::string expected;
    int expectedResult = Expected(srcBuffer, token, replacement, dstCapacity, &expected);
    CheckEqual("result of ReplaceToken", expectedResult, result);
    if (result != 0) {
        Check(dst.Unchanged(), "refused ReplaceToken leaves dst untouched");
        return 0;
    }
    CheckEqual("output of ReplaceToken", expected, dst.CheckedText("ReplaceToken dst"));
    return 0;
}
