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

const wchar_t* SkipProgramNameWide(const wchar_t* commandLine) {
    const wchar_t* p = commandLine;
    if (*p == L'"') {
        ++p;
        while (*p != L'\0' && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p > 0x20) ++p;
    }
    while (*p != L'\0' && *p <= 0x20) ++p;
    return p;
}

LosslessConversion LosslessConversionFor(unsigned codePage) {
    if (codePage == 65001) return LosslessConversion{kErrorInvalidChars, false};
    return LosslessConversion{kNoBestFitChars, true};
}

namespace {

int DirectoryOf(const char* path, const LeadBytes* lead, char* dst, int capacity) {
    if (path == nullptr) return -1;
    PathParts parts;
    FindPathParts(path, lead, &parts);
    // A directory the path split would cut is not the program's.
    if (parts.directoryEnd - parts.driveEnd > kMaxPathPart) return -1;
    return CopyBytes(dst, capacity, path, parts.directoryEnd);
}

}  // namespace

int ChooseModuleDirectory(const char* longPath, const char* shortPath, const LeadBytes* lead,
                          char* dst, int capacity) {
    if (DirectoryOf(longPath, lead, dst, capacity) == 0 ||
        DirectoryOf(shortPath, lead, dst, capacity) == 0) {
        return 0;
    }
    if (capacity > 0) dst[0] = '\0';
    return -1;
}

bool ContainsText(const char* text, const char* token) {
    for (; *text != '\0'; ++text) {
        int i = 0;
        while (token[i] != '\0' && text[i] == token[i]) ++i;
        if (token[i] == '\0') return true;
    }
    return false;
}
