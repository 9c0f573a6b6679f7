// Bounded, NUL-terminated byte texts in caller-owned buffers.
// Capacities count bytes including the NUL; no function writes at or past
// dst[capacity], and every function leaves dst NUL-terminated when capacity > 0.
#ifndef TAVREL_TEXT_BUFFER_H
#define TAVREL_TEXT_BUFFER_H

void FillZero(void* dst, int size);

// Length of text, reading at most `capacity` bytes; a text with no NUL among
// them counts as `capacity` bytes long.
int BoundedLength(const char* text, int capacity);

int TextLength(const char* text);

// Copies src whole. Returns 0, or -1 (dst left alone) when src and its NUL
// do not fit.
int CopyText(char* dst, int capacity, const char* src);

// Appends src whole to the text in dst. Returns 0, or -1 (dst left alone)
// when the result and its NUL do not fit.
int AppendText(char* dst, int capacity, const char* src);

// Copies `count` bytes of src and a NUL. Returns 0, or -1 (dst left alone)
// when they do not fit.
int CopyBytes(char* dst, int capacity, const char* src, int count);

inline bool IsBlank(char byte) { return byte == ' ' || byte == '\t'; }

inline bool IsSeparator(char byte) { return byte == '\\' || byte == '/'; }

bool SameText(const char* a, const char* b);

// Compares `count` bytes with ASCII letters folded to lower case, as the
// system compares folder and variable names. Stops early at a NUL in either.
bool SameIgnoringAsciiCase(const char* a, const char* b, int count);

#endif
