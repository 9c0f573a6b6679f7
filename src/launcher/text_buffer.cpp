#include "text_buffer.h"

void FillZero(void* dst, int size) {
    // volatile keeps the compiler from turning the loop into a memset call.
    volatile char* bytes = static_cast<volatile char*>(dst);
    for (int i = 0; i < size; ++i) bytes[i] = 0;
}

int BoundedLength(const char* text, int capacity) {
    int length = 0;
    while (length < capacity && text[length] != '\0') ++length;
    return length;
}

int TextLength(const char* text) {
    int length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

int CopyBytes(char* dst, int capacity, const char* src, int count) {
    if (count < 0 || count >= capacity) return -1;
    for (int i = 0; i < count; ++i) dst[i] = src[i];
    dst[count] = '\0';
    return 0;
}

int CopyText(char* dst, int capacity, const char* src) {
    return CopyBytes(dst, capacity, src, TextLength(src));
}

int AppendText(char* dst, int capacity, const char* src) {
    int used = BoundedLength(dst, capacity);
    if (used >= capacity) return -1;
    return CopyBytes(dst + used, capacity - used, src, TextLength(src));
}

namespace {

char LowerAscii(char byte) { return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32) : byte; }

}  // namespace

bool SameIgnoringAsciiCase(const char* a, const char* b, int count) {
    for (int i = 0; i < count; ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
        if (a[i] == '\0') return true;
    }
    return true;
}

bool SameText(const char* a, const char* b) {
    for (; *a == *b; ++a, ++b) {
        if (*a == '\0') return true;
    }
    return false;
}
