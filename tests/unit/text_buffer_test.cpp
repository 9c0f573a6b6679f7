#include "text_buffer.h"

#include <gtest/gtest.h>

#include <string>

#include "buffers.h"

namespace {

TEST(TextBuffer, BoundedLengthStopsAtCapacity) {
    struct Case {
        const char* name;
        std::string bytes;  // held with no NUL after them
        int capacity;
        int expected;
    } cases[] = {
        {"NUL inside", std::string("ab\0cd", 5), 5, 2},
        {"no NUL", "abcd", 4, 4},
        {"capacity before NUL", "abcd", 2, 2},
        {"capacity 0", "a", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bytes = ExactBytes(c.bytes);
        EXPECT_EQ(c.expected, BoundedLength(bytes.get(), c.capacity));
    }
}

TEST(TextBuffer, CopyAndAppendRefuseWhatDoesNotFit) {
    // op: 'c' CopyText, 'a' AppendText onto `before`, 'b' CopyBytes of `count`.
    struct Case {
        const char* name;
        char op;
        const char* before;
        const char* src;
        int count;
        int capacity;
        int expectedResult;
        const char* expectedText;  // null: dst must be untouched
    } cases[] = {
        {"copy fits exactly", 'c', nullptr, "abc", 0, 4, 0, "abc"},
        {"copy one too long", 'c', nullptr, "abcd", 0, 4, -1, nullptr},
        {"copy empty", 'c', nullptr, "", 0, 1, 0, ""},
        {"copy into capacity 0", 'c', nullptr, "", 0, 0, -1, nullptr},
        {"append fits exactly", 'a', "ab", "cd", 0, 5, 0, "abcd"},
        {"append one too long", 'a', "ab", "cde", 0, 5, -1, "ab"},
        {"bytes fit exactly", 'b', nullptr, "abcdef", 3, 4, 0, "abc"},
        {"bytes one too many", 'b', nullptr, "abcdef", 4, 4, -1, nullptr},
        {"negative count", 'b', nullptr, "abc", -1, 4, -1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer dst(c.capacity);
        int result = 0;
        if (c.op == 'c') {
            result = CopyText(dst.get(), c.capacity, c.src);
        } else if (c.op == 'b') {
            result = CopyBytes(dst.get(), c.capacity, c.src, c.count);
        } else {
            ASSERT_EQ(0, CopyText(dst.get(), c.capacity, c.before));
            result = AppendText(dst.get(), c.capacity, c.src);
        }
        EXPECT_EQ(c.expectedResult, result);
        if (c.expectedText == nullptr) {
            EXPECT_TRUE(dst.Untouched()) << "dst was written: " << Shown(dst.Text());
        } else {
            EXPECT_EQ(c.expectedText, dst.Text());
        }
    }
}

TEST(TextBuffer, AppendRefusesUnterminatedDestination) {
    Buffer dst(3);  // three fill bytes, no NUL
    EXPECT_EQ(-1, AppendText(dst.get(), 3, ""));
    EXPECT_TRUE(dst.Untouched());
}

TEST(TextBuffer, FillZero) {
    Buffer block(5);
    FillZero(block.get(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ('\0', block.get()[i]) << "byte " << i;
}

}  // namespace
