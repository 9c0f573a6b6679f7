// Copies a text and replaces every occurrence of a token in it.
#ifndef TAVREL_REPLACE_TOKEN_H
#define TAVREL_REPLACE_TOKEN_H

// Copies the text in src (read up to its NUL, never past srcCapacity) into
// dst, replacing each non-overlapping occurrence of `token` (matched byte for
// byte) by `replacement`. The output holds at most dstCapacity - 1 bytes and a
// NUL. Once a replacement does not fit, it and every later occurrence stay as
// written. Returns 0, or -1 with dst untouched when the token is empty,
// srcCapacity is 0 or the token is longer than srcCapacity.
int ReplaceToken(const char* src, int srcCapacity, const char* token,
                 const char* replacement, char* dst, int dstCapacity);

#endif
