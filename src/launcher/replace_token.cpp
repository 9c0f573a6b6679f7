#include "replace_token.h"

#include "text_buffer.h"

namespace {

struct Output {
    char* text;
    int capacity;
    int length;
};

// Appends as much of bytes[0..count) as fits before the last byte.
void Append(Output* out, const char* bytes, int count) {
    for (int i = 0; i < count && out->length < out->capacity - 1; ++i) {
        out->text[out->length++] = bytes[i];
    }
    out->text[out->length] = '\0';
}

bool TokenAt(const char* src, int srcLength, int position, const char* token, int tokenLength) {
    if (tokenLength > srcLength - position) return false;
    for (int i = 0; i < tokenLength; ++i) {
        if (src[position + i] != token[i]) return false;
    }
    return true;
}

}  // namespace

int ReplaceToken(const char* src, int srcCapacity, const char* token,
                 const char* replacement, char* dst, int dstCapacity) {
    int tokenLength = TextLength(token);
    if (tokenLength == 0 || srcCapacity <= 0 || tokenLength > srcCapacity) return -1;
    if (dstCapacity <= 0) return -1;

    int srcLength = BoundedLength(src, srcCapacity);
    int replacementLength = TextLength(replacement);
    Output out = {dst, dstCapacity, 0};
    out.text[0] = '\0';

    bool replacing = true;  // turns off for good at the first replacement that does not fit
    int pending = 0;
    int position = 0;
    while (position < srcLength) {
        if (!TokenAt(src, srcLength, position, token, tokenLength)) {
            ++position;
            continue;
        }
        Append(&out, src + pending, position - pending);
        if (replacementLength == 0) {
            pending = position + tokenLength;
        } else if (replacing && replacementLength <= out.capacity - 1 - out.length) {
            Append(&out, replacement, replacementLength);
            pending = position + tokenLength;
        } else {
            replacing = false;
            pending = position;
        }
        position += tokenLength;
    }
    Append(&out, src + pending, srcLength - pending);
    return 0;
}
