// TakeRegistryText. Input: "capacity arena", then the value's bytes as the
// registry read them (any bytes, NULs or none, in a block of exactly their
// size).
#include "fuzz_support.h"
#include "launch_sequence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> field = SplitFields(data, size, 2);
    std::vector<unsigned> n = ParseNumbers(field[0], {255, 0});
    const std::string& value = field[1];
    int capacity = n[0] % 1100;

    std::unique_ptr<char[]> valueCopy = ExactCopy(value, false);
    Buffer dst(capacity, n[1] & 1);
    int result = TakeRegistryText(dst.data(), capacity, valueCopy.get(), static_cast<int>(value.size()));

    std::string expected = AsText(value);
    bool fits = expected.size() < static_cast<size_t>(capacity);
    CheckEqual("result of TakeRegistryText", fits ? 0 : -1, result);
    if (!fits) {
        // A value is refused whole, never cut.
        Check(dst.Unchanged(), "TakeRegistryText leaves dst untouched when the text does not fit");
        return 0;
    }
    CheckEqual("output of TakeRegistryText", expected, dst.CheckedText("TakeRegistryText dst"));
    return 0;
}
