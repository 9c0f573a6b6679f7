#include "path_split.h"

#include "text_buffer.h"

namespace {

// Copies src[0..length) cut to the part limit and the capacity, never
// keeping a lead byte without the byte that follows it. Returns false when
// the part was cut.
bool CopyPart(char* dst, int capacity, const char* src, int length, const LeadBytes* lead) {
    if (dst == nullptr || capacity <= 0) return true;
    int limit = capacity - 1;
    if (limit > kMaxPathPart) limit = kMaxPathPart;
    int kept = 0;
    if (length <= limit) {
        kept = length;
    } else {
        int i = 0;
        while (i < limit) {
            int width = (IsLead(lead, src[i]) && i + 1 < length) ? 2 : 1;
            if (i + width > limit) break;
            i += width;
        }
        kept = i;
    }
    CopyBytes(dst, capacity, src, kept);
    return kept == length;
}

}  // namespace

void LeadBytesForCodePage(LeadBytes* lead, unsigned codePage, unsigned maxCharSize,
                          const unsigned char* cpInfoRanges, int rangeBytes) {
    // The double-byte pages whose lead bytes are fixed: inclusive ranges,
    // ending in 0.
    static const struct {
        unsigned short codePage;
        unsigned char ranges[7];
    } kFixed[] = {
        {932, {0x81, 0x9F, 0xE0, 0xFC, 0}},
        {936, {0x81, 0xFE, 0}},
        {949, {0x81, 0xFE, 0}},
        {950, {0x81, 0xFE, 0}},
        {1361, {0x81, 0xD3, 0xD8, 0xDE, 0xE0, 0xF9, 0}},
    };
    FillZero(lead, sizeof(*lead));
    for (const auto& fixed : kFixed) {
        if (fixed.codePage == codePage) {
            cpInfoRanges = fixed.ranges;
            rangeBytes = sizeof(fixed.ranges);
            maxCharSize = 2;
        }
    }
    if (maxCharSize <= 1 || cpInfoRanges == nullptr) return;
    for (int i = 0; i + 1 < rangeBytes; i += 2) {
        int first = cpInfoRanges[i];
        int last = cpInfoRanges[i + 1];
        if (first == 0 && last == 0) break;
        for (int b = first; b <= last; ++b) lead->isLead[b] = 1;
    }
}

void FindPathParts(const char* path, const LeadBytes* lead, PathParts* parts) {
    int driveLength = 0;
    if (path[0] != '\0' && !IsLead(lead, path[0]) && path[1] == ':') driveLength = 2;

    // A lead byte at the very end stops the scan.
    int directoryEnd = driveLength;  // one past the last separator
    int lastDot = -1;
    int end = driveLength;
    while (path[end] != '\0') {
        char byte = path[end];
        if (IsLead(lead, byte)) {
            if (path[end + 1] == '\0') {
                ++end;
                break;
            }
            end += 2;
            continue;
        }
        if (byte == '\\' || byte == '/') {
            directoryEnd = end + 1;
            lastDot = -1;
        } else if (byte == '.') {
            lastDot = end;
        }
        ++end;
    }
    parts->driveEnd = driveLength;
    parts->directoryEnd = directoryEnd;
    parts->extensionStart = lastDot >= 0 ? lastDot : end;
    parts->end = end;
}

bool SplitPath(const char* path, const LeadBytes* lead,
               char* drive, int driveCapacity,
               char* directory, int directoryCapacity,
               char* name, int nameCapacity,
               char* extension, int extensionCapacity) {
    PathParts p;
    FindPathParts(path, lead, &p);
    bool whole = CopyPart(drive, driveCapacity, path, p.driveEnd, lead);
    whole &= CopyPart(directory, directoryCapacity, path + p.driveEnd, p.directoryEnd - p.driveEnd, lead);
    whole &= CopyPart(name, nameCapacity, path + p.directoryEnd, p.extensionStart - p.directoryEnd, lead);
    whole &= CopyPart(extension, extensionCapacity, path + p.extensionStart, p.end - p.extensionStart, lead);
    return whole;
}
