#include "launch_sequence.h"

#include "text_buffer.h"

int StripQuotes(char* dst, int capacity, const char* src) {
    int start = 0;
    int end = TextLength(src);
    if (src[0] == '"') start = 1;

    int beforeBlanks = end;
    while (beforeBlanks > start && IsBlank(src[beforeBlanks - 1])) --beforeBlanks;
    if (beforeBlanks > start && src[beforeBlanks - 1] == '"') end = beforeBlanks - 1;

    return CopyBytes(dst, capacity, src + start, end - start) == 0 ? 0 : -4;
}

int TakeRegistryText(char* dst, int capacity, const char* data, int size) {
    return CopyBytes(dst, capacity, data, BoundedLength(data, size));
}

const char* SkipProgramName(const char* commandLine, const LeadBytes* lead) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') {
            p += (lead->isLead[*p] && p[1] != '\0') ? 2 : 1;
        }
        if (*p == '"') ++p;
    } else {
        while (*p > 0x20) ++p;
    }
    while (*p != '\0' && *p <= 0x20) ++p;
    return reinterpret_cast<const char*>(p);
}
