#include "path_split.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "buffers.h"

namespace {

using Ranges = std::vector<std::pair<int, int>>;

LeadBytes LeadsFor(unsigned codePage, unsigned maxCharSize = 2,
                   const unsigned char* ranges = nullptr, int rangeBytes = 0) {
    LeadBytes lead;
    // Leftovers must be cleared, not kept.
    for (unsigned char& b : lead.isLead) b = 0xFF;
    LeadBytesForCodePage(&lead, codePage, maxCharSize, ranges, rangeBytes);
    return lead;
}

const LeadBytes& Cp932() {
    static const LeadBytes lead = LeadsFor(932);
    return lead;
}
const LeadBytes& Cp950() {
    static const LeadBytes lead = LeadsFor(950);
    return lead;
}
const LeadBytes& Cp1361() {
    static const LeadBytes lead = LeadsFor(1361);
    return lead;
}
const LeadBytes& Cp1252() {
    static const LeadBytes lead = LeadsFor(1252, 1);
    return lead;
}

// Characters whose trail byte is 0x5C, and one whose trail byte is no ASCII.
const std::string kHyo932 = "\x95\x5C";    // 表, code page 932
const std::string kKou950 = "\xA5\x5C";    // 功, code page 950
const std::string kPound1361 = "\xD9\x5C"; // ￡, code page 1361
const std::string kA932 = "\x82\xA0";      // あ, code page 932

TEST(LeadBytesForCodePage, MarksTheRangesOfEachPage) {
    // A range table as GetCPInfo gives it: pairs ending in 0,0; the pair after
    // the end must be ignored.
    const unsigned char reported[12] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0, 0x20, 0x7F};
    const unsigned char bogus[12] = {0x01, 0x7F, 0, 0};
    // Six pairs and no 0,0 end: only the given bytes may be read.
    const unsigned char full[12] = {0x81, 0x81, 0x83, 0x83, 0x85, 0x85,
                                    0x87, 0x87, 0x89, 0x89, 0x8B, 0x8B};
    const unsigned char reversed[12] = {0x90, 0x85, 0xA1, 0xA2, 0, 0};

    struct Case {
        const char* name;
        unsigned codePage;
        unsigned maxCharSize;
        const unsigned char* ranges;
        Ranges expected;
    } cases[] = {
        {"932", 932, 2, nullptr, {{0x81, 0x9F}, {0xE0, 0xFC}}},
        {"932 ignores reported ranges", 932, 2, bogus, {{0x81, 0x9F}, {0xE0, 0xFC}}},
        {"936", 936, 2, nullptr, {{0x81, 0xFE}}},
        {"949", 949, 2, nullptr, {{0x81, 0xFE}}},
        {"950", 950, 2, nullptr, {{0x81, 0xFE}}},
        {"1361", 1361, 2, nullptr, {{0x81, 0xD3}, {0xD8, 0xDE}, {0xE0, 0xF9}}},
        {"other page uses reported ranges", 20932, 2, reported, {{0x81, 0x9F}, {0xE0, 0xFC}}},
        {"other page, six pairs", 20000, 2, full,
         {{0x81, 0x81}, {0x83, 0x83}, {0x85, 0x85}, {0x87, 0x87}, {0x89, 0x89}, {0x8B, 0x8B}}},
        {"other page, reversed pair skipped", 20000, 2, reversed, {{0xA1, 0xA2}}},
        {"other page without ranges", 20000, 2, nullptr, {}},
        {"single-byte page", 1252, 1, nullptr, {}},
        {"single-byte page ignores ranges", 1252, 1, reported, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<char[]> ranges;
        if (c.ranges != nullptr) {
            ranges = ExactBytes(std::string(reinterpret_cast<const char*>(c.ranges), 12));
        }
        LeadBytes lead = LeadsFor(c.codePage, c.maxCharSize,
                                  reinterpret_cast<const unsigned char*>(ranges.get()),
                                  ranges ? 12 : 0);
        for (int b = 0; b < 256; ++b) {
            bool expected = false;
            for (const auto& r : c.expected) expected = expected || (b >= r.first && b <= r.second);
            EXPECT_EQ(expected, lead.isLead[b] != 0) << "byte 0x" << std::hex << b;
        }
    }
}

struct Parts {
    std::string drive, directory, name, extension;
    bool whole = true;  // SplitPath's result: no part asked for was cut
};

// Splits `path`, held in a block of exactly its size, into parts of the
// given capacities; a capacity below 0 passes no buffer for that part.
Parts Split(const std::string& path, const LeadBytes& lead, int driveCap = 260,
            int directoryCap = 260, int nameCap = 260, int extensionCap = 260) {
    auto text = ExactText(path);
    Buffer drive(driveCap < 0 ? 0 : driveCap), directory(directoryCap < 0 ? 0 : directoryCap),
        name(nameCap < 0 ? 0 : nameCap), extension(extensionCap < 0 ? 0 : extensionCap);
    bool whole = SplitPath(text.get(), &lead,
              driveCap < 0 ? nullptr : drive.get(), driveCap,
              directoryCap < 0 ? nullptr : directory.get(), directoryCap,
              nameCap < 0 ? nullptr : name.get(), nameCap,
              extensionCap < 0 ? nullptr : extension.get(), extensionCap);
    auto textOf = [](const Buffer& b) { return b.capacity() > 0 ? b.Text() : std::string("<none>"); };
    return {textOf(drive), textOf(directory), textOf(name), textOf(extension), whole};
}

void ExpectParts(const Parts& expected, const Parts& got) {
    EXPECT_EQ(Shown(expected.drive), Shown(got.drive)) << "drive";
    EXPECT_EQ(Shown(expected.directory), Shown(got.directory)) << "directory";
    EXPECT_EQ(Shown(expected.name), Shown(got.name)) << "name";
    EXPECT_EQ(Shown(expected.extension), Shown(got.extension)) << "extension";
    EXPECT_EQ(expected.whole, got.whole) << "whether every part asked for came whole";
}

TEST(SplitPath, SplitsIntoDriveDirectoryNameExtension) {
    struct Case {
        const char* name;
        const LeadBytes& lead;
        std::string path;
        Parts expected;
    } cases[] = {
        {"full path", Cp1252(), "C:\\dir\\sub\\file.txt", {"C:", "\\dir\\sub\\", "file", ".txt"}},
        {"forward slashes, last dot", Cp1252(), "C:/dir/file.tar.gz", {"C:", "/dir/", "file.tar", ".gz"}},
        {"bare name", Cp1252(), "file", {"", "", "file", ""}},
        {"drive and name", Cp1252(), "C:file.txt", {"C:", "", "file", ".txt"}},
        {"drive alone", Cp1252(), "x:", {"x:", "", "", ""}},
        {"dot in directory only", Cp1252(), "dir.d\\name", {"", "dir.d\\", "name", ""}},
        {"name of a dot only", Cp1252(), "C:\\d\\.profile", {"C:", "\\d\\", "", ".profile"}},
        {"directory alone", Cp1252(), "C:\\dir\\", {"C:", "\\dir\\", "", ""}},
        {"share", Cp1252(), "\\\\srv\\share\\a.b.c", {"", "\\\\srv\\share\\", "a.b", ".c"}},
        {"empty", Cp1252(), "", {"", "", "", ""}},
        {"quoted", Cp1252(), "\"C:\\Program Files\\run.exe\"", {"", "\"C:\\Program Files\\", "run", ".exe\""}},

        // A trail byte 0x5C is no separator under a double-byte page, and is
        // one under a single-byte page.
        {"932 trail 0x5C ends the path", Cp932(), "C:\\d\\" + kHyo932, {"C:", "\\d\\", kHyo932, ""}},
        {"same bytes, 1252", Cp1252(), "C:\\d\\" + kHyo932, {"C:", "\\d\\\x95\\", "", ""}},
        {"932 trail 0x5C in directory", Cp932(), "C:\\" + kHyo932 + "\\" + kHyo932 + "x.inf",
         {"C:", "\\" + kHyo932 + "\\", kHyo932 + "x", ".inf"}},
        {"950 trail 0x5C", Cp950(), "C:\\" + kKou950 + "x.inf", {"C:", "\\", kKou950 + "x", ".inf"}},
        {"1361 trail 0x5C", Cp1361(), "D:\\" + kPound1361 + ".txt", {"D:", "\\", kPound1361, ".txt"}},
        // No real character has 0x2E or 0x3A as its trail byte; these pair a
        // lead byte with them to show the scan passes both bytes together.
        {"932 lead byte before a dot", Cp932(), "C:\\d\\a\x81.b", {"C:", "\\d\\", "a\x81.b", ""}},
        {"same bytes, 1252", Cp1252(), "C:\\d\\a\x81.b", {"C:", "\\d\\", "a\x81", ".b"}},
        {"932 lead byte first, then a colon", Cp932(), "\x81:x", {"", "", "\x81:x", ""}},

        // A lead byte that is the last byte of the text ends the scan.
        {"932 lead byte last in name", Cp932(), "C:\\d\\x\x95", {"C:", "\\d\\", "x\x95", ""}},
        {"932 lead byte alone after directory", Cp932(), "C:\\d\\\x95", {"C:", "\\d\\", "\x95", ""}},
        {"932 lead byte last in extension", Cp932(), "C:\\d\\x.\x95", {"C:", "\\d\\", "x", ".\x95"}},
        {"932 lead byte is the whole path", Cp932(), "\x95", {"", "", "\x95", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + Shown(c.path));
        ExpectParts(c.expected, Split(c.path, c.lead));
    }
}

TEST(SplitPath, CutsPartsWithoutSplittingACharacter) {
    const std::string a300(300, 'a');
    std::string hiragana150;
    for (int i = 0; i < 150; ++i) hiragana150 += kA932;
    const std::string hiragana127 = hiragana150.substr(0, 254);

    struct Case {
        const char* name;
        const LeadBytes& lead;
        std::string path;
        Parts expected;
        int nameCap;
        int extensionCap;
    } cases[] = {
        {"name to 255", Cp1252(), "C:\\" + a300 + ".txt", {"C:", "\\", a300.substr(0, 255), ".txt", false}, 260, 260},
        {"directory to 255, separator lost", Cp1252(), "C:\\" + a300 + "\\f.txt",
         {"C:", "\\" + a300.substr(0, 254), "f", ".txt", false}, 260, 260},
        {"extension to 255", Cp1252(), "f." + a300, {"", "", "f", "." + a300.substr(0, 254), false}, 260, 260},
        {"932 name: lead byte at 255 dropped", Cp932(), hiragana150, {"", "", hiragana127, "", false}, 260, 260},
        {"same bytes, 1252: cut at 255", Cp1252(), hiragana150, {"", "", hiragana150.substr(0, 255), "", false}, 260, 260},
        {"932 name: whole characters reach 255", Cp932(), "a" + hiragana150, {"", "", "a" + hiragana127, "", false}, 260, 260},
        {"932 directory: lead byte at 255 dropped", Cp932(), "C:" + hiragana150 + "\\x",
         {"C:", hiragana127, "x", "", false}, 260, 260},
        {"932 extension: lead byte at 255 dropped", Cp932(), "x.a" + hiragana150,
         {"", "", "x", ".a" + hiragana150.substr(0, 252), false}, 260, 260},
        {"932 lone lead byte that ends a 255-byte name is kept", Cp932(), std::string(254, 'a') + "\x82",
         {"", "", std::string(254, 'a') + "\x82", ""}, 260, 260},
        {"932 name cut to capacity - 1", Cp932(), kA932 + kA932 + kA932, {"", "", kA932, "", false}, 4, 260},
        {"932 name fits capacity - 1", Cp932(), kA932 + kA932 + kA932, {"", "", kA932 + kA932, "", false}, 5, 260},
        {"capacity 1 takes only the NUL", Cp1252(), "x.txt", {"", "", "x", "", false}, 260, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectParts(c.expected, Split(c.path, c.lead, 260, 260, c.nameCap, c.extensionCap));
    }
}

TEST(SplitPath, WritesOnlyThePartsAsked) {
    Parts got = Split("C:\\d\\x.inf", Cp1252(), -1, -1, 260, -1);
    ExpectParts({"<none>", "<none>", "x", "<none>"}, got);
    got = Split("C:\\d\\x.inf", Cp1252(), 3, 0, -1, 5);
    ExpectParts({"C:", "<none>", "<none>", ".inf"}, got);
}

}  // namespace
