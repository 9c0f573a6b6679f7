// Heap buffers of exactly the size under test, so that the sanitizer reports
// any access past their end, prefilled with a pattern that shows which bytes
// were written.
#ifndef TAVREL_TESTS_BUFFERS_H
#define TAVREL_TESTS_BUFFERS_H

#include <cstring>
#include <memory>
#include <string>

constexpr char kFill = '\xAA';

class Buffer {
public:
    explicit Buffer(int capacity)
        : capacity_(capacity), bytes_(new char[capacity > 0 ? capacity : 0]) {
        std::memset(bytes_.get(), kFill, capacity_ > 0 ? capacity_ : 0);
    }

    char* get() { return bytes_.get(); }
    int capacity() const { return capacity_; }

    // True when no byte was written.
    bool Untouched() const {
        for (int i = 0; i < capacity_; ++i) {
            if (bytes_[i] != kFill) return false;
        }
        return true;
    }

    // The text up to its NUL; "<no NUL>" marks a buffer left unterminated.
    std::string Text() const {
        for (int i = 0; i < capacity_; ++i) {
            if (bytes_[i] == '\0') return std::string(bytes_.get(), i);
        }
        return "<no NUL>";
    }

private:
    int capacity_;
    std::unique_ptr<char[]> bytes_;
};

// `bytes` copied into a heap block of exactly its size, with no NUL after it.
inline std::unique_ptr<char[]> ExactBytes(const std::string& bytes) {
    std::unique_ptr<char[]> block(new char[bytes.size()]);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    return block;
}

// `text` and its NUL in a heap block of exactly that size.
inline std::unique_ptr<char[]> ExactText(const std::string& text) {
    return ExactBytes(text + std::string(1, '\0'));
}

// Bytes shown with the non-printable ones in hex, for failure messages.
inline std::string Shown(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string shown;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 15];
        }
    }
    return shown;
}

#endif
