#include "launch_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "buffers.h"

namespace {

TEST(StripQuotes, RemovesOnlyEnclosingQuotes) {
    struct Case {
        const char* name;
        std::string src;
        std::string expected;
    } cases[] = {
        {"enclosed", "\"C:\\d\\x.inf\"", "C:\\d\\x.inf"},
        {"enclosed, then a space", "\"C:\\d\\x.inf\" ", "C:\\d\\x.inf"},
        {"enclosed, then tabs and spaces", "\"C:\\d\\x.inf\"\t \t", "C:\\d\\x.inf"},
        {"closing quote only", "C:\\d\\x.inf\"", "C:\\d\\x.inf"},
        {"closing quote only, then a space", "C:\\d\\x.inf\" ", "C:\\d\\x.inf"},
        {"opening quote only", "\"C:\\d\\x.inf", "C:\\d\\x.inf"},
        {"opening quote only, blanks kept", "\"C:\\d\\x.inf  ", "C:\\d\\x.inf  "},
        {"unquoted keeps its trailing blanks", "C:\\d\\x.inf \t", "C:\\d\\x.inf \t"},
        {"quotes inside stay", "C:\\my \"d\"\\x.inf", "C:\\my \"d\"\\x.inf"},
        {"enclosed with quotes inside", "\"C:\\my \"d\"\\x.inf\"", "C:\\my \"d\"\\x.inf"},
        {"quoted word, then more", "\"a\" b", "a\" b"},
        {"blank before the opening quote", "  \"x\"", "  \"x"},
        {"other control byte after the quote", "\"x\"\n", "x\"\n"},
        {"two quotes", "\"\"", ""},
        {"two quotes, then blanks", "\"\"  ", ""},
        {"four quotes", "\"\"\"\"", "\"\""},
        {"one quote", "\"", ""},
        {"empty", "", ""},
        {"blank only", " ", " "},
        {"double-byte path", "\"C:\\\x95\x5C\\x.inf\"", "C:\\\x95\x5C\\x.inf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + Shown(c.src));
        auto src = ExactText(c.src);
        Buffer dst(520);
        ASSERT_EQ(0, StripQuotes(dst.get(), 520, src.get()));
        EXPECT_EQ(Shown(c.expected), Shown(dst.Text()));
    }
}

TEST(StripQuotes, RefusesAResultThatDoesNotFit) {
    struct Case {
        const char* name;
        std::string src;
        int capacity;
        int expectedResult;
        std::string expected;  // dst untouched when the result is -4
    } cases[] = {
        {"unquoted fits exactly", "abc", 4, 0, "abc"},
        {"unquoted one too long", "abcd", 4, -4, ""},
        {"enclosed result fits exactly", "\"abc\"", 4, 0, "abc"},
        {"enclosed result one too long", "\"abcd\"", 4, -4, ""},
        {"trailing blank counts", "abc ", 4, -4, ""},
        {"capacity 1, empty result", "\"\"", 1, 0, ""},
        {"capacity 0", "", 0, -4, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto src = ExactText(c.src);
        Buffer dst(c.capacity);
        EXPECT_EQ(c.expectedResult, StripQuotes(dst.get(), c.capacity, src.get()));
        if (c.expectedResult == 0) {
            EXPECT_EQ(c.expected, dst.Text());
        } else {
            EXPECT_TRUE(dst.Untouched()) << "dst now holds \"" << Shown(dst.Text()) << "\"";
        }
    }
}

TEST(TakeRegistryText, TakesTheBytesReadUpToTheirFirstNul) {
    struct Case {
        const char* name;
        std::string data;  // exactly the bytes read
        int capacity;
        int expectedResult;
        std::string expected;  // dst untouched when the result is -1
    } cases[] = {
        {"with its NUL", std::string("inffile\0", 8), 255, 0, "inffile"},
        {"stored without NUL", "inffile", 255, 0, "inffile"},
        {"no bytes", "", 255, 0, ""},
        {"stops at the first NUL", std::string("ab\0cd\0", 6), 255, 0, "ab"},
        {"double NUL", std::string("\0\0", 2), 255, 0, ""},
        {"fits exactly", std::string("abc\0", 4), 4, 0, "abc"},
        {"without NUL, fits exactly", "abc", 4, 0, "abc"},
        {"one too long", std::string("abcd\0", 5), 4, -1, ""},
        {"without NUL, one too long", "abcd", 4, -1, ""},
        {"full read buffer without NUL", std::string(1024, 'v'), 1024, -1, ""},
        {"full read buffer ending in NUL", std::string(1023, 'v') + std::string(1, '\0'), 1024, 0,
         std::string(1023, 'v')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto data = ExactBytes(c.data);
        Buffer dst(c.capacity);
        EXPECT_EQ(c.expectedResult, TakeRegistryText(dst.get(), c.capacity, data.get(),
                                                      static_cast<int>(c.data.size())));
        if (c.expectedResult == 0) {
            EXPECT_EQ(c.expected, dst.Text());
        } else {
            EXPECT_TRUE(dst.Untouched()) << "dst now holds \"" << Shown(dst.Text()) << "\"";
        }
    }
}

TEST(SkipProgramName, ReturnsTheArgumentText) {
    LeadBytes cp932;
    LeadBytesForCodePage(&cp932, 932, 2, nullptr, 0);
    LeadBytes cp1252;
    LeadBytesForCodePage(&cp1252, 1252, 1, nullptr, 0);

    struct Case {
        const char* name;
        const LeadBytes& lead;
        std::string line;
        std::string expected;  // the tail of `line` that must be returned
    } cases[] = {
        {"quoted, space", cp1252, "\"C:\\dir\\Tavrel.exe\" x.inf", "x.inf"},
        {"quoted, nothing between", cp1252, "\"C:\\dir\\Tavrel.exe\"x.inf", "x.inf"},
        {"quoted, tab", cp1252, "\"C:\\dir\\Tavrel.exe\"\tx.inf", "x.inf"},
        {"quoted argument and trailing blanks kept", cp1252,
         "\"C:\\dir\\Tavrel.exe\"  \"C:\\d\\x.inf\" \t", "\"C:\\d\\x.inf\" \t"},
        {"quoted name with spaces", cp1252, "\"C:\\Program Files\\Tavrel.exe\" a b", "a b"},
        {"unclosed quote takes the line", cp1252, "\"C:\\dir\\Tavrel.exe x.inf", ""},
        {"empty quotes", cp1252, "\"\" x.inf", "x.inf"},
        {"unquoted, space", cp1252, "C:\\dir\\Tavrel.exe x.inf  ", "x.inf  "},
        {"unquoted, tab", cp1252, "Tavrel.exe\tx.inf", "x.inf"},
        {"bytes 0x01 to 0x20 skipped", cp1252, "Tavrel.exe\x01\x1F \x20\x10x.inf", "x.inf"},
        {"quote inside an unquoted name", cp1252, "Tav\"rel.exe\" x", "x"},
        {"name only", cp1252, "Tavrel.exe", ""},
        {"name and blanks only", cp1252, "Tavrel.exe \t ", ""},
        {"line starting with a blank", cp1252, " x.inf", "x.inf"},
        {"empty line", cp1252, "", ""},
        // 表 (0x95 0x5C), ソ (0x83 0x5C), フ (0x83 0x74), ト (0x83 0x67).
        {"932 quoted name with trail bytes 0x5C", cp932,
         "\"C:\\\x95\x5C\\\x83\x5C\x83\x74\x83\x67\\Tavrel.exe\" x.inf", "x.inf"},
        {"932 unquoted name", cp932, "C:\\\x83\x5C\x83\x74\x83\x67\\Tavrel.exe \"x.inf\"", "\"x.inf\""},
        {"932 argument keeps its characters", cp932, "Tavrel.exe \x95\x5C.inf", "\x95\x5C.inf"},
        // A lead byte takes the byte after it along, even a quote.
        {"932 lead byte before a quote", cp932, "\"C:\\a\x81\" b\" c", "c"},
        {"same bytes, 1252", cp1252, "\"C:\\a\x81\" b\" c", "b\" c"},
        {"932 lead byte last in an unclosed name", cp932, "\"C:\\x\x95", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + Shown(c.line));
        auto line = ExactText(c.line);
        const char* rest = SkipProgramName(line.get(), &c.lead);
        ASSERT_GE(rest, line.get());
        ASSERT_LE(rest, line.get() + c.line.size()) << "returned past the line's NUL";
        EXPECT_EQ(Shown(c.expected), Shown(c.line.substr(rest - line.get())));
    }
}

// SkipProgramNameWide reads the system's Unicode command line the same way;
// there a character is one unit: 表 (U+8868) and ソ (U+30BD) are no
// separators or quotes.
TEST(SkipProgramNameWide, ReturnsTheArgumentText) {
    struct Case {
        const char* name;
        std::wstring line;
        std::wstring expected;
    } cases[] = {
        {"quoted, space", L"\"C:\\dir\\Tavrel.exe\" x.inf", L"x.inf"},
        {"quoted, nothing between", L"\"C:\\dir\\Tavrel.exe\"x.inf", L"x.inf"},
        {"quoted argument and trailing blanks kept", L"\"C:\\Tavrel.exe\"  \"C:\\x.inf\" \t",
         L"\"C:\\x.inf\" \t"},
        {"unclosed quote takes the line", L"\"C:\\dir\\Tavrel.exe x.inf", L""},
        {"unquoted, bytes 0x01 to 0x20 skipped", L"Tavrel.exe\x01\x1F \tx.inf", L"x.inf"},
        {"name only", L"Tavrel.exe", L""},
        {"empty line", L"", L""},
        {"characters beyond ASCII", L"\"C:\\\x8868\\Tavrel.exe\" \x30BD.inf", L"\x30BD.inf"},
        {"unquoted name beyond ASCII", L"C:\\\xAE40\\Tavrel.exe x.inf", L"x.inf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<wchar_t[]> line(new wchar_t[c.line.size() + 1]);
        std::copy(c.line.begin(), c.line.end(), line.get());
        line[c.line.size()] = L'\0';
        const wchar_t* rest = SkipProgramNameWide(line.get());
        ASSERT_GE(rest, line.get());
        ASSERT_LE(rest, line.get() + c.line.size()) << "returned past the line's NUL";
        EXPECT_TRUE(c.expected == std::wstring(rest)) << "wrong argument text";
    }
}

// Best fit must count as a loss; UTF-8 takes neither the flag nor the
// used-default option (the call fails on Windows if given them). The flags
// are WideCharToMultiByte's own values.
TEST(LosslessConversionFor, RefusesBestFitButNotForUtf8) {
    const unsigned long kWcNoBestFitChars = 0x400;
    const unsigned long kWcErrInvalidChars = 0x80;
    struct Case {
        unsigned codePage;
        unsigned long expectedFlags;
        bool expectedAskUsedDefault;
    } cases[] = {
        {932, kWcNoBestFitChars, true},
        {1252, kWcNoBestFitChars, true},
        {949, kWcNoBestFitChars, true},
        {65001, kWcErrInvalidChars, false},
    };
    for (const Case& c : cases) {
        LosslessConversion how = LosslessConversionFor(c.codePage);
        EXPECT_EQ(c.expectedFlags, how.flags) << "code page " << c.codePage;
        EXPECT_EQ(c.expectedAskUsedDefault, how.askUsedDefault) << "code page " << c.codePage;
    }
}

// The long path when the code page holds it, else the short one, else none.
TEST(ChooseModuleDirectory, TakesTheFirstPathThatCameThroughWhole) {
    LeadBytes cp932;
    LeadBytesForCodePage(&cp932, 932, 2, nullptr, 0);
    const std::string hyou = "\x95\x5C";  // 表: trail byte 0x5C
    const std::string deep = "C:\\" + std::string(254, 'd') + "\\";  // directory of 256 bytes
    const std::string lost = "(lost)";  // the conversion lost a character, or there is none
    struct Case {
        const char* name;
        std::string longPath;
        std::string shortPath;
        int capacity;
        int expectedResult;
        std::string expected;
    } cases[] = {
        {"long path whole", "C:\\acc\\Tavrel.exe", "C:\\ACC\\TAVREL.EXE", 260, 0, "C:\\acc\\"},
        {"double-byte folder, trail byte 0x5C", "C:\\" + hyou + "\\Tavrel.exe", lost, 260, 0,
         "C:\\" + hyou + "\\"},
        {"long path lost: the short one", lost, "C:\\____~Z0I\\Tavrel.exe", 260, 0, "C:\\____~Z0I\\"},
        {"no short name either", lost, lost, 260, -1, ""},
        {"UNC path", "\\\\srv\\share\\Tavrel.exe", lost, 260, 0, "\\\\srv\\share\\"},
        {"directory the split would cut", deep + "Tavrel.exe", lost, 260, -1, ""},
        {"cut long directory: the short one", deep + "Tavrel.exe", "C:\\DDDD~1\\T.EXE", 260, 0,
         "C:\\DDDD~1\\"},
        {"fits exactly", "C:\\ab\\x.exe", lost, 7, 0, "C:\\ab\\"},
        {"one byte too small", "C:\\ab\\x.exe", lost, 6, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer dst(c.capacity);
        auto longPath = c.longPath != lost ? ExactText(c.longPath) : nullptr;
        auto shortPath = c.shortPath != lost ? ExactText(c.shortPath) : nullptr;
        int result = ChooseModuleDirectory(longPath.get(), shortPath.get(), &cp932, dst.get(),
                                           c.capacity);
        EXPECT_EQ(c.expectedResult, result);
        EXPECT_EQ(Shown(c.expected), Shown(dst.Text()));
    }
}

TEST(ContainsText, FindsTheTokenByteForByte) {
    EXPECT_TRUE(ContainsText("\"%EXEPATH%x.inf\"", "%EXEPATH%"));
    EXPECT_TRUE(ContainsText("x%EXEPATH%", "%EXEPATH%"));
    EXPECT_FALSE(ContainsText("%exepath%x.inf", "%EXEPATH%"));
    EXPECT_FALSE(ContainsText("%EXEPATH", "%EXEPATH%"));
    EXPECT_FALSE(ContainsText("", "%EXEPATH%"));
}

}  // namespace
