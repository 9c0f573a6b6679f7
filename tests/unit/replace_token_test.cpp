#include "replace_token.h"

#include <gtest/gtest.h>

#include <string>

#include "buffers.h"

namespace {

struct Case {
    const char* name;
    std::string src;  // held in a block of exactly srcCapacity bytes
    int srcCapacity;  // below 0: the text's length plus its NUL
    const char* token;
    const char* replacement;
    int dstCapacity;
    std::string expected;
};

void ExpectReplaced(const Case& c) {
    SCOPED_TRACE(std::string(c.name) + ": \"" + Shown(c.src) + "\"");
    int srcCapacity = c.srcCapacity < 0 ? static_cast<int>(c.src.size()) + 1 : c.srcCapacity;
    std::string held = c.src;
    held.resize(srcCapacity, '\0');
    auto src = ExactBytes(held);
    Buffer dst(c.dstCapacity);
    ASSERT_EQ(0, ReplaceToken(src.get(), srcCapacity, c.token, c.replacement, dst.get(),
                              c.dstCapacity));
    EXPECT_EQ(Shown(c.expected), Shown(dst.Text()));
}

TEST(ReplaceToken, ReplacesEveryOccurrence) {
    const Case cases[] = {
        {"no token", "C:\\d\\x.inf", -1, "%EXEPATH%", "C:\\dir\\", 270, "C:\\d\\x.inf"},
        {"at start", "%EXEPATH%x.inf", -1, "%EXEPATH%", "C:\\dir\\", 270, "C:\\dir\\x.inf"},
        {"in middle", "\"%EXEPATH%x.inf\"", -1, "%EXEPATH%", "C:\\dir\\", 270, "\"C:\\dir\\x.inf\""},
        {"at end", "x %1", -1, "%1", "C:\\a.inf", 1024, "x C:\\a.inf"},
        {"other case is no occurrence", "%exepath%x.inf", -1, "%EXEPATH%", "C:\\dir\\", 270, "%exepath%x.inf"},
        {"adjacent", "%1%1", -1, "%1", "X", 16, "XX"},
        {"one byte apart", "%1 %1", -1, "%1", "X", 16, "X X"},
        {"two bytes apart", "%1  %1", -1, "%1", "X", 16, "X  X"},
        {"three adjacent", "%1%1%1", -1, "%1", "ab", 16, "ababab"},
        {"non-overlapping", "aaa", -1, "aa", "X", 16, "Xa"},
        {"partial token before", "%%1", -1, "%1", "X", 16, "%X"},
        {"token cut by the NUL", "a%", -1, "%1", "X", 16, "a%"},
        {"empty replacement", "%1a%1b%1", -1, "%1", "", 16, "ab"},
        {"replacement holding the token", "%1%1", -1, "%1", "%1", 16, "%1%1"},
        {"empty source", "", 16, "%1", "X", 16, ""},
        {"output of capacity 1", "abc", -1, "%1", "X", 1, ""},
        {"source longer than output", "abcdef", -1, "%1", "X", 4, "abc"},
        {"text after the replacement cut", "a%1bc", -1, "%1", "XYZ", 5, "aXYZ"},
        {"replacement fills the output exactly", "%1", -1, "%1", "XYZ", 4, "XYZ"},
    };
    for (const Case& c : cases) ExpectReplaced(c);
}

TEST(ReplaceToken, LeavesTheFirstReplacementThatDoesNotFitAndAllAfter) {
    const Case cases[] = {
        {"first does not fit", "x%1y", -1, "%1", "ABCDEFGH", 6, "x%1y"},
        {"second does not fit, third stays", "%1-%1-%1", -1, "%1", "ABCDEF", 13, "ABCDEF-%1-%1"},
        {"third does not fit", "%1-%1-%1", -1, "%1", "ABCD", 14, "ABCD-ABCD-%1"},
        {"third does not fit, then cut", "%1-%1-%1", -1, "%1", "ABCD", 12, "ABCD-ABCD-%"},
        {"one byte short of the NUL", "%1", -1, "%1", "XYZ", 3, "%1"},
        {"later short text still copied", "%1%1ab", -1, "%1", "ABCDEF", 11, "ABCDEF%1ab"},
    };
    for (const Case& c : cases) ExpectReplaced(c);
}

TEST(ReplaceToken, ReadsTheSourceNoFurtherThanItsCapacity) {
    const Case cases[] = {
        {"no NUL within capacity", "ab%1", 4, "%1", "X", 16, "abX"},
        {"token cut by the capacity", "ab%1", 3, "%1", "X", 16, "ab%"},
        {"token exactly as long as capacity", "%1", 2, "%1", "X", 16, "X"},
        {"NUL before capacity", std::string("a\0%1", 4), 4, "%1", "X", 16, "a"},
        {"long source, no NUL", std::string(600, 'q'), 520, "%1", "X", 1024, std::string(520, 'q')},
    };
    for (const Case& c : cases) ExpectReplaced(c);
}

TEST(ReplaceToken, RefusesWithoutTouchingTheOutput) {
    struct Refusal {
        const char* name;
        std::string src;
        int srcCapacity;
        const char* token;
    } cases[] = {
        {"empty token", "abc", 4, ""},
        {"source capacity 0", "", 0, "%1"},
        {"token longer than source capacity", "%", 1, "%1"},
        {"long token", "%EXEPATH", 8, "%EXEPATH%"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        auto src = ExactBytes(c.src);
        Buffer dst(8);
        EXPECT_EQ(-1, ReplaceToken(src.get(), c.srcCapacity, c.token, "X", dst.get(), 8));
        EXPECT_TRUE(dst.Untouched()) << "dst now holds \"" << Shown(dst.Text()) << "\"";
    }
}

}  // namespace
