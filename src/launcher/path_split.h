// Splits a path into drive, directory, file name and extension, aware of the
// double-byte characters of the ANSI code page.
#ifndef TAVREL_PATH_SPLIT_H
#define TAVREL_PATH_SPLIT_H

// isLead[b] is nonzero when byte b starts a double-byte character.
struct LeadBytes {
    unsigned char isLead[256];
};

inline bool IsLead(const LeadBytes* lead, char byte) {
    return lead->isLead[static_cast<unsigned char>(byte)] != 0;
}

enum { kMaxPathPart = 255 };

// Fills `lead` for `codePage`. 932, 936, 949, 950 and 1361 use their fixed
// ranges; any other page uses `cpInfoRanges` (inclusive byte pairs ending in
// a 0,0 pair, at most `rangeBytes` bytes, as GetCPInfo reports them) when
// `maxCharSize` is above 1, and has no lead bytes otherwise.
void LeadBytesForCodePage(LeadBytes* lead, unsigned codePage, unsigned maxCharSize,
                          const unsigned char* cpInfoRanges, int rangeBytes);

// Where the parts of a path lie, as byte offsets: drive [0, driveEnd),
// directory [driveEnd, directoryEnd), file name [directoryEnd,
// extensionStart), extension [extensionStart, end). Found in one pass over
// whole characters: a trail byte is never taken for a separator or a dot.
struct PathParts {
    int driveEnd;
    int directoryEnd;
    int extensionStart;
    int end;
};
void FindPathParts(const char* path, const LeadBytes* lead, PathParts* parts);

// Drive: the first two bytes when the second is ':'. Directory: up to and
// including the last '\' or '/'. Extension: from the last '.' after the
// directory, dot included. File name: what lies between. Each part is cut to
// 255 bytes (and to capacity - 1) without splitting a double-byte character.
// A part whose buffer is null is not written. Returns false when a part
// that was asked for had to be cut.
bool SplitPath(const char* path, const LeadBytes* lead,
               char* drive, int driveCapacity,
               char* directory, int directoryCapacity,
               char* name, int nameCapacity,
               char* extension, int extensionCapacity);

// Windows side only (path_split_win32.cpp): everything above builds without
// windows.h.
#ifdef _WIN32
// Fills `lead` for the system's ANSI code page (GetACP / GetCPInfo).
void LoadAnsiLeadBytes(LeadBytes* lead);
#endif  // _WIN32

#endif
