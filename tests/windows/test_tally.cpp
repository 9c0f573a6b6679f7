// test_tally RESULTS_FOLDER PART...
//
// The closing lines of tests\windows\run-tests.cmd. For each PART the script
// left in RESULTS_FOLDER:
//   PART.xml   the GoogleTest results of a test program (--gtest_output=xml)
//   PART.exit  the exit code of the program, as a number
//   PART.skip  a reason why the part did not run
// A program with results counts its cases; one without counts as one case,
// passed when it exited 0. A program that exited non-zero without a failed
// case failed (it ended early, or crashed), and so did a part with nothing
// in the folder (it did not report).
// Prints each case that failed or was skipped, with its reason, then
// "N passed, N failed, N skipped", and exits 1 when any failed or none ran.
// What it counted apart from the programs' own cases (a program without
// results, a part skipped or that did not report, a program that ended
// badly) it also writes as GoogleTest XML to RESULTS_FOLDER\tally.xml, so
// that the XML files there hold every result.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A result the tally counted for a whole part.
struct PartResult {
    std::string part;
    const char* result;   // "passed", "failed" or "skipped"
    std::string message;  // why, for the last two
};

struct Tally {
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    std::vector<PartResult> parts;
};

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

void WriteXml(const std::string& path, const Tally& tally) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    int failures = 0;
    for (const PartResult& r : tally.parts) failures += std::string(r.result) == "failed";
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\"" << tally.parts.size()
        << "\" failures=\"" << failures << "\" disabled=\"0\" errors=\"0\" name=\"run-tests.cmd\">\n"
        << "  <testsuite name=\"run-tests.cmd\" tests=\"" << tally.parts.size() << "\" failures=\"" << failures
        << "\" disabled=\"0\" errors=\"0\">\n";
    for (const PartResult& r : tally.parts) {
        const std::string result = r.result;
        out << "    <testcase name=\"" << Escaped(r.part) << "\" status=\"run\" result=\""
            << (result == "skipped" ? "skipped" : "completed") << "\" classname=\"run-tests.cmd\"";
        if (result == "passed") {
            out << " />\n";
            continue;
        }
        out << ">\n      <" << (result == "failed" ? "failure" : "skipped") << " message=\"" << Escaped(r.message)
            << "\" />\n    </testcase>\n";
    }
    out << "  </testsuite>\n</testsuites>\n";
}

void Count(Tally* tally, const std::string& part, const char* result, const std::string& message) {
    const std::string kind = result;
    if (kind == "passed") {
        ++tally->passed;
    } else if (kind == "failed") {
        ++tally->failed;
        std::printf("FAILED  %s: %s\n", part.c_str(), message.c_str());
    } else {
        ++tally->skipped;
        std::printf("SKIPPED %s: %s\n", part.c_str(), message.c_str());
    }
    tally->parts.push_back({part, result, message});
}

bool ReadFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    *text = all.str();
    return true;
}

// The value of attribute `name` in the tag text `tag`, with the XML
// entities read back (a character reference outside ASCII as a space).
std::string Attribute(const std::string& tag, const std::string& name) {
    const std::string key = " " + name + "=\"";
    size_t at = tag.find(key);
    if (at == std::string::npos) return "";
    at += key.size();
    std::string raw = tag.substr(at, tag.find('"', at) - at), value;
    static const struct { const char* entity; char c; } kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw.compare(i, 2, "&#") == 0 && raw.find(';', i) != std::string::npos) {
            // A character reference: GoogleTest writes line breaks so.
            const size_t end = raw.find(';', i);
            const bool hex = raw[i + 2] == 'x';
            const long code = std::strtol(raw.c_str() + i + (hex ? 3 : 2), nullptr, hex ? 16 : 10);
            value += code == '\n' || code == '\r' || code < 0x20 || code > 0x7E ? ' ' : static_cast<char>(code);
            i = end;
            continue;
        }
        bool replaced = false;
        for (const auto& e : kEntities) {
            if (raw.compare(i, std::string(e.entity).size(), e.entity) == 0) {
                value += e.c;
                i += std::string(e.entity).size() - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced) value += raw[i] == '\n' ? ' ' : raw[i];
    }
    return value;
}

// Counts the cases of one GoogleTest results file; false when it holds none.
bool CountCases(const std::string& part, const std::string& xml, Tally* tally, bool* anyFailed) {
    bool any = false;
    for (size_t at = xml.find("<testcase "); at != std::string::npos; at = xml.find("<testcase ", at + 1)) {
        const size_t tagEnd = xml.find('>', at);
        if (tagEnd == std::string::npos) break;
        const std::string tag = xml.substr(at, tagEnd - at);
        const std::string name = part + ": " + Attribute(tag, "classname") + "." + Attribute(tag, "name");
        std::string body;
        if (xml[tagEnd - 1] != '/') {
            const size_t close = xml.find("</testcase>", tagEnd);
            body = xml.substr(tagEnd, close == std::string::npos ? std::string::npos : close - tagEnd);
        }
        if (Attribute(tag, "status") == "notrun") continue;  // a disabled case
        any = true;
        const size_t failure = body.find("<failure ");
        const size_t skipped = body.find("<skipped");
        if (failure != std::string::npos) {
            ++tally->failed;
            *anyFailed = true;
            std::string message = Attribute(body.substr(failure, body.find('>', failure) - failure), "message");
            std::printf("FAILED  %s\n        %s\n", name.c_str(), message.substr(0, 300).c_str());
        } else if (skipped != std::string::npos || Attribute(tag, "result") == "skipped") {
            ++tally->skipped;
            std::string message =
                skipped == std::string::npos ? "" : Attribute(body.substr(skipped, body.find('>', skipped) - skipped), "message");
            std::printf("SKIPPED %s: %s\n", name.c_str(), message.c_str());
        } else {
            ++tally->passed;
        }
    }
    return any;
}

void CountPart(const std::string& folder, const std::string& part, Tally* tally) {
    const std::string base = folder + "/" + part;  // either separator does on Windows
    std::string xml, exitText, skipReason;
    if (ReadFile(base + ".skip", &skipReason)) {
        while (!skipReason.empty() && (skipReason.back() == '\n' || skipReason.back() == '\r' ||
                                       skipReason.back() == ' ')) {
            skipReason.pop_back();
        }
        Count(tally, part, "skipped", skipReason);
        return;
    }
    const bool exited = ReadFile(base + ".exit", &exitText);
    const long exitCode = exited ? std::strtol(exitText.c_str(), nullptr, 10) : -1;
    bool anyFailed = false;
    const bool hasCases = ReadFile(base + ".xml", &xml) && CountCases(part, xml, tally, &anyFailed);
    if (!exited) {
        Count(tally, part, "failed", "did not report (no " + part + ".exit)");
    } else if (!hasCases) {
        Count(tally, part, exitCode == 0 ? "passed" : "failed", "exited with " + std::to_string(exitCode));
    } else if (exitCode != 0 && !anyFailed) {
        Count(tally, part, "failed",
              "exited with " + std::to_string(exitCode) + ", with no failed case in its results");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: test_tally RESULTS_FOLDER PART...\n");
        return 2;
    }
    Tally tally;
    for (int i = 2; i < argc; ++i) CountPart(argv[1], argv[i], &tally);
    WriteXml(std::string(argv[1]) + "/tally.xml", tally);
    std::printf("%d passed, %d failed, %d skipped\n", tally.passed, tally.failed, tally.skipped);
    return tally.failed == 0 && tally.passed > 0 ? 0 : 1;
}
