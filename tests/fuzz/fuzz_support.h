// Shared pieces of the fuzz targets: the input layout, buffers that show
// stray writes, reference lead-byte tables and a reference path split.
//
// Input layout of every target: fields separated by '\n'. The first field
// holds decimal numbers separated by anything else (missing ones take their
// default); the last field takes the rest of the input, newlines and NULs
// included. The seed files are plain text written this way.
#ifndef TAVREL_FUZZ_SUPPORT_H
#define TAVREL_FUZZ_SUPPORT_H

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "path_split.h"

inline std::vector<std::string> SplitFields(const uint8_t* data, size_t size, int count) {
    std::vector<std::string> fields;
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (int i = 0; i + 1 < count; ++i) {
        size_t newline = input.find('\n', start);
        if (newline == std::string::npos) newline = input.size();
        fields.push_back(input.substr(start, newline - start));
        start = newline < input.size() ? newline + 1 : newline;
    }
    fields.push_back(input.substr(start));
    return fields;
}

inline std::vector<unsigned> ParseNumbers(const std::string& field,
                                          std::vector<unsigned> defaults) {
    size_t next = 0;
    for (size_t i = 0; i < field.size() && next < defaults.size();) {
        if (field[i] < '0' || field[i] > '9') { ++i; continue; }
        unsigned long long value = 0;
        for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
            if (value < 1000000000ull) value = value * 10 + (field[i] - '0');
        }
        defaults[next++] = static_cast<unsigned>(value);
    }
    return defaults;
}

// The text up to its first NUL, as a C caller would see it.
inline std::string AsText(const std::string& bytes) { return std::string(bytes.c_str()); }

inline std::string Escaped(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        char hex[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out + "\" (" + std::to_string(bytes.size()) + " bytes)";
}

[[noreturn]] inline void Fail(const std::string& what, const std::string& expected,
                              const std::string& got) {
    fprintf(stderr, "\nPROPERTY FAILED: %s\n  expected: %s\n  got:      %s\n", what.c_str(),
            expected.c_str(), got.c_str());
    abort();
}

inline void Check(bool ok, const std::string& what) {
    if (!ok) Fail(what, "true", "false");
}

inline void CheckEqual(const std::string& what, const std::string& expected,
                       const std::string& got) {
    if (expected != got) Fail(what, Escaped(expected), Escaped(got));
}

inline void CheckEqual(const std::string& what, long expected, long got) {
    if (expected != got) Fail(what, std::to_string(expected), std::to_string(got));
}

// A copy of `bytes` in a heap block of exactly their size (plus a NUL when
// asked), so ASan reports any read past the end.
inline std::unique_ptr<char[]> ExactCopy(const std::string& bytes, bool withNul) {
    std::unique_ptr<char[]> copy(new char[bytes.size() + (withNul ? 1 : 0)]);
    memcpy(copy.get(), bytes.data(), bytes.size());
    if (withNul) copy[bytes.size()] = '\0';
    return copy;
}

// A caller's output buffer of exactly `capacity` bytes, filled with non-zero
// junk so an output that is not terminated shows. Alone, it is a heap block
// of that size and ASan reports any access past either end. In an arena it
// is a slice between two canary runs of one larger block; SurroundIntact()
// then also catches stray writes that stay inside the allocation.
class Buffer {
public:
    enum { kGuard = 32 };

    Buffer(int capacity, bool inArena) : capacity_(capacity) {
        int guard = inArena ? kGuard : 0;
        size_t total = static_cast<size_t>(capacity) + 2 * guard;
        block_.reset(new char[total]);
        for (size_t i = 0; i < total; ++i) block_[i] = static_cast<char>(0xA0 + i % 0x5F);
        snapshot_.assign(block_.get(), total);
        data_ = block_.get() + guard;
    }

    char* data() { return data_; }
    int capacity() const { return capacity_; }

    bool Unchanged() const { return std::string(block_.get(), snapshot_.size()) == snapshot_; }

    bool SurroundIntact() const {
        size_t guard = data_ - block_.get();
        size_t after = guard + capacity_;
        return memcmp(block_.get(), snapshot_.data(), guard) == 0 &&
               memcmp(block_.get() + after, snapshot_.data() + after, guard) == 0;
    }

    bool Terminated() const { return memchr(data_, 0, capacity_) != nullptr; }

    // The text held, after checking it ends within the capacity and that
    // nothing around the buffer was touched.
    std::string CheckedText(const std::string& what) const {
        Check(SurroundIntact(), what + ": bytes around the buffer unchanged");
        Check(Terminated(), what + ": NUL within capacity " + std::to_string(capacity_));
        return std::string(data_);
    }

private:
    std::unique_ptr<char[]> block_;
    std::string snapshot_;
    char* data_;
    int capacity_;
};

// Lead bytes as documented for each code page, built without the code under
// test: the fixed pages, else GetCPInfo-style pairs up to a 0,0 pair.
// The system's reading of a command line, as a small reference: a program
// in double quotes runs to its closing quote, an unquoted one to the first
// blank (space or tab); leading blanks are skipped, and the parameters start
// after the blanks that follow the program (npos for none).
inline void ExpectedSystemReading(const std::string& text, std::string* program,
                                  size_t* parameters) {
    const char* blanks = " \t";
    size_t n = text.size();
    size_t start = std::min(text.find_first_not_of(blanks), n), end, rest;
    if (start < n && text[start] == '"') {
        end = std::min(text.find('"', ++start), n);
        rest = end < n ? end + 1 : n;
    } else {
        end = rest = std::min(text.find_first_of(blanks, start), n);
    }
    *program = text.substr(start, end - start);
    rest = std::min(text.find_first_not_of(blanks, rest), n);
    *parameters = rest < n ? rest : std::string::npos;
}

inline std::array<bool, 256> ExpectedLeadBytes(unsigned codePage, unsigned maxCharSize,
                                               const std::string& ranges) {
    std::array<bool, 256> lead{};
    auto mark = [&](int first, int last) {
        for (int b = first; b <= last; ++b) lead[b] = true;
    };
    switch (codePage) {
    case 932: mark(0x81, 0x9F); mark(0xE0, 0xFC); return lead;
    case 936: case 949: case 950: mark(0x81, 0xFE); return lead;
    case 1361: mark(0x81, 0xD3); mark(0xD8, 0xDE); mark(0xE0, 0xF9); return lead;
    }
    if (maxCharSize <= 1) return lead;
    for (size_t i = 0; i + 1 < ranges.size(); i += 2) {
        unsigned char first = ranges[i], last = ranges[i + 1];
        if (first == 0 && last == 0) break;
        mark(first, last);
    }
    return lead;
}

// Runs LeadBytesForCodePage on `ranges` (in a block of exactly their size)
// and checks it against the documented table.
inline LeadBytes CheckedLeadBytes(unsigned codePage, unsigned maxCharSize,
                                  const std::string& ranges) {
    std::unique_ptr<char[]> rangeCopy = ExactCopy(ranges, false);
    LeadBytes lead;
    memset(&lead, 0xCC, sizeof lead);
    LeadBytesForCodePage(&lead, codePage, maxCharSize,
                         reinterpret_cast<const unsigned char*>(rangeCopy.get()),
                         static_cast<int>(ranges.size()));
    std::array<bool, 256> expected = ExpectedLeadBytes(codePage, maxCharSize, ranges);
    for (int b = 0; b < 256; ++b) {
        if ((lead.isLead[b] != 0) != expected[b]) {
            char byte[8];
            snprintf(byte, sizeof byte, "0x%02X", b);
            Fail(std::string("lead byte ") + byte + " of code page " + std::to_string(codePage),
                 expected[b] ? "lead" : "not lead", lead.isLead[b] ? "lead" : "not lead");
        }
    }
    return lead;
}

// Reference path split. Character boundaries come from one walk over the
// text (a lead byte takes the byte after it, unless it is the last byte);
// each part is cut at the last boundary within its limit.
struct ExpectedSplit {
    std::string path;
    std::vector<bool> boundary;  // boundary[i]: a character starts at i (or i is the end)
    size_t driveEnd = 0, directoryEnd = 0, extensionStart = 0;

    ExpectedSplit(const std::string& text, const LeadBytes& lead) : path(text) {
        size_t n = path.size();
        auto isLead = [&](size_t i) { return lead.isLead[static_cast<unsigned char>(path[i])] != 0; };
        boundary.assign(n + 1, false);
        boundary[n] = true;
        if (n >= 2 && !isLead(0) && path[1] == ':') {
            driveEnd = 2;
            boundary[0] = boundary[1] = true;
        }
        directoryEnd = driveEnd;
        size_t lastDot = std::string::npos;
        for (size_t i = driveEnd; i < n;) {
            boundary[i] = true;
            if (isLead(i)) {
                i += 2;  // a lead byte as last byte leaves i at n + 1: the walk is over
                continue;
            }
            if (path[i] == '\\' || path[i] == '/') {
                directoryEnd = i + 1;
                lastDot = std::string::npos;
            } else if (path[i] == '.') {
                lastDot = i;
            }
            ++i;
        }
        extensionStart = lastDot != std::string::npos ? lastDot : n;
    }

    std::string Part(size_t start, size_t end, int capacity) const {
        size_t limit = capacity - 1 < kMaxPathPart ? capacity - 1 : kMaxPathPart;
        size_t kept = end - start < limit ? end : start + limit;
        while (!boundary[kept]) --kept;
        return path.substr(start, kept - start);
    }
    std::string Drive(int capacity) const { return Part(0, driveEnd, capacity); }
    std::string Directory(int capacity) const { return Part(driveEnd, directoryEnd, capacity); }
    std::string Name(int capacity) const { return Part(directoryEnd, extensionStart, capacity); }
    std::string Extension(int capacity) const { return Part(extensionStart, path.size(), capacity); }
};

#endif
