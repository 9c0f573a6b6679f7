// ResolveProgram. Input: "codePage maxCharSize findRule arena", then
// lead-byte ranges as for the path split, then the names the stand-in file
// search finds, separated by '|', then the text (up to its first NUL, in a
// block of exactly its size). The search also finds any name whose hash
// modulo 8 is below findRule modulo 8, so candidates further along get found.
#include <set>

#include "execute_and_wait.h"
#include "fuzz_support.h"

namespace {

struct Search {
    std::set<std::string> names;
    unsigned rule;
    const char* buffers[2];  // candidate, name

    bool Finds(const std::string& name) const {
        uint32_t hash = 2166136261u;
        for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
        return names.count(name) != 0 || hash % 8 < rule % 8;
    }
};

bool StandInSearch(const char* name, void* context) {
    const Search* search = static_cast<const Search*>(context);
    Check(name == search->buffers[0] || name == search->buffers[1],
          "ResolveProgram searches a name held in its working buffers");
    Check(memchr(name, 0, kCandidateCapacity) != nullptr,
          "searched name ends within " + std::to_string(kCandidateCapacity) + " bytes");
    return search->Finds(name);
}

struct Resolution {
    std::string program;
    bool wholeText = false;
    size_t parameters = std::string::npos;  // offset in the text
};

// Each space from the left ends a candidate; the candidate is taken as
// written, else by its name and extension. A text without a space is the
// program; a candidate too long for its buffer ends the search.
bool Expected(const std::string& text, const LeadBytes& lead, const Search& search, Resolution* out) {
    size_t space = text.find(' ');
    if (space == std::string::npos) {
        out->program = text;
        out->wholeText = true;
        return true;
    }
    for (; space != std::string::npos; space = text.find(' ', space + 1)) {
        if (space >= kCandidateCapacity) return false;
        std::string candidate = text.substr(0, space);
        out->parameters = space + 1 < text.size() ? space + 1 : std::string::npos;
        ExpectedSplit split(candidate, lead);
        std::string joined = split.Name(kCandidateCapacity) + split.Extension(kCandidateCapacity);
        if (search.Finds(candidate)) {
            out->program = candidate;
            return true;
        }
        // A name or extension cut by the split is never searched.
        bool whole = joined.size() == candidate.size() - split.directoryEnd;
        if (whole && search.Finds(joined)) {
            out->program = joined;
            return true;
        }
    }
    return false;
}

std::string Shown(const char* text) { return text ? Escaped(text) : "none"; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> field = SplitFields(data, size, 4);
    std::vector<unsigned> n = ParseNumbers(field[0], {932, 2, 0, 0});
    LeadBytes lead = CheckedLeadBytes(n[0], n[1], field[1]);
    std::string text = AsText(field[3]);

    Search search;
    for (size_t start = 0; start <= field[2].size();) {
        size_t bar = std::min(field[2].find('|', start), field[2].size());
        if (bar > start) search.names.insert(AsText(field[2].substr(start, bar - start)));
        start = bar + 1;
    }
    search.rule = n[2];

    std::unique_ptr<char[]> textCopy = ExactCopy(text, true);
    Buffer candidate(kCandidateCapacity, n[3] & 1), name(kCandidateCapacity, n[3] & 1);
    search.buffers[0] = candidate.data();
    search.buffers[1] = name.data();
    ResolvedCommand resolved = {nullptr, nullptr};
    bool found = ResolveProgram(textCopy.get(), &lead, StandInSearch, &search, candidate.data(),
                                name.data(), &resolved);

    Resolution want;
    bool expectFound = Expected(text, lead, search, &want);
    std::string what = "ResolveProgram of " + Escaped(text);
    CheckEqual(what + ": result", expectFound, found);
    Check(candidate.SurroundIntact() && name.SurroundIntact(),
          what + ": bytes around the working buffers unchanged");
    if (!found) return 0;

    const char* program = resolved.program;
    bool inBuffer = program == candidate.data() || program == name.data();
    Check(want.wholeText ? program == textCopy.get() : inBuffer,
          what + ": program is the text itself or in a working buffer");
    Check(memchr(program, 0, want.wholeText ? text.size() + 1 : kCandidateCapacity) != nullptr,
          what + ": program ends within its buffer");
    CheckEqual(what + ": program", want.program, program);
    const char* params = want.parameters == std::string::npos ? nullptr : textCopy.get() + want.parameters;
    if (resolved.parameters != params) Fail(what + ": parameters", Shown(params), Shown(resolved.parameters));
    return 0;
}
