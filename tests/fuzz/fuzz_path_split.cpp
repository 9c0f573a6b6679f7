// LeadBytesForCodePage and SplitPath. Input: "codePage maxCharSize
// driveCapacity directoryCapacity nameCapacity extensionCapacity flags", then
// GetCPInfo-style lead-byte ranges (used by pages other than 932, 936, 949,
// 950 and 1361), then the path (up to its first NUL). Flags: bit 0 puts the
// four outputs side by side in one canary-filled arena, bits 1-4 pass a null
// buffer for drive, directory, name, extension.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> field = SplitFields(data, size, 3);
    std::vector<unsigned> n = ParseNumbers(field[0], {932, 2, 3, 260, 260, 260, 0});
    std::string path = AsText(field[2]);
    LeadBytes lead = CheckedLeadBytes(n[0], n[1], field[1]);

    bool arena = n[6] & 1;
    Buffer drive(n[2] % 300, arena), directory(n[3] % 300, arena);
    Buffer name(n[4] % 300, arena), extension(n[5] % 300, arena);
    Buffer* part[4] = {&drive, &directory, &name, &extension};
    char* out[4];
    for (int i = 0; i < 4; ++i) out[i] = (n[6] >> (i + 1)) & 1 ? nullptr : part[i]->data();

    std::unique_ptr<char[]> pathCopy = ExactCopy(path, true);
    SplitPath(pathCopy.get(), &lead, out[0], drive.capacity(), out[1], directory.capacity(),
              out[2], name.capacity(), out[3], extension.capacity());

    ExpectedSplit expected(path, lead);
    const char* label[4] = {"drive", "directory", "name", "extension"};
    for (int i = 0; i < 4; ++i) {
        std::string what = std::string("SplitPath ") + label[i] + " of " + Escaped(path);
        if (out[i] == nullptr || part[i]->capacity() == 0) {
            Check(part[i]->Unchanged(), what + ": a null or empty buffer is not written");
            continue;
        }
        int capacity = part[i]->capacity();
        std::string want = i == 0 ? expected.Drive(capacity)
                         : i == 1 ? expected.Directory(capacity)
                         : i == 2 ? expected.Name(capacity)
                                  : expected.Extension(capacity);
        CheckEqual(what, want, part[i]->CheckedText(what));
    }
    return 0;
}
