// Without the C runtime, the compiler's own calls to memset and memcpy (for
// zero-filled arrays and record copies) must be met by the program itself.
#include <stddef.h>

extern "C" __attribute__((externally_visible)) void* memset(void* dst, int value, size_t size) {
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(dst);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(value);
    return dst;
}

extern "C" __attribute__((externally_visible)) void* memcpy(void* dst, const void* src, size_t size) {
    volatile unsigned char* out = static_cast<volatile unsigned char*>(dst);
    const unsigned char* in = static_cast<const unsigned char*>(src);
    for (size_t i = 0; i < size; ++i) out[i] = in[i];
    return dst;
}
