// ResolveProgram against a small system read from the input. Input fields:
// "codePage maxCharSize arena wow64", lead-byte ranges as for the path
// split, the files and the folders on disk (separated by '|'), the
// environment ("name=value" items separated by '|'), the system directory,
// the Windows directory, PATH, the native system alias, then the command
// text (up to its first NUL, in a block of exactly its size).
#include "execute_and_wait.h"
#include "fuzz_facts.h"

namespace {

enum Step { kAsWritten, kFileNameOnly, kWholeText, kSystemReading };

struct Resolution {
    std::string program;
    size_t parameters = std::string::npos;  // offset in the text
    Step step = kAsWritten;
};

class Reference {
public:
    explicit Reference(const FuzzSystem& system) : system_(system) {}

    // A written program: expanded, then an absolute path that is a file, or
    // a bare name found in the system directory, the Windows directory or
    // an absolute PATH folder, in that order.
    bool LookUp(const std::string& written, std::string* found) const {
        std::string expanded;
        return ExpectedExpansion(written, system_, kProgramPathCapacity, &expanded) &&
               LookUpExpanded(expanded, found);
    }

    bool LookUpExpanded(const std::string& expanded, std::string* found) const {
        PathForm form = ExpectedForm(expanded, system_.lead);
        if (form == kAbsolutePath) return TakeFile(expanded, found);
        if (form != kBareName) return false;
        std::vector<std::string> folders = {system_.systemDirectory, system_.windowsDirectory};
        // PATH is cut at every ';' byte: no ANSI code page has ';' as the
        // second byte of a character (Johab does, but is no ANSI code page).
        for (size_t start = 0; start <= system_.searchPath.size();) {
            size_t end = std::min(system_.searchPath.find(';', start), system_.searchPath.size());
            folders.push_back(system_.searchPath.substr(start, end - start));
            start = end + 1;
        }
        for (const std::string& folder : folders) {
            if (ExpectedForm(folder, system_.lead) != kAbsolutePath) continue;
            std::vector<std::string> characters = Characters(folder, system_.lead);
            std::string joined = folder + (IsSeparatorCharacter(characters.back()) ? "" : "\\") + expanded;
            if (joined.size() < kProgramPathCapacity && TakeFile(joined, found)) return true;
        }
        return false;
    }

    // The last resort for a candidate: the file name and extension of its
    // expansion, unless the split cut one of them, as a bare name.
    bool LookUpFileName(const std::string& candidate, std::string* found) const {
        std::string expanded;
        if (!ExpectedExpansion(candidate, system_, kProgramPathCapacity, &expanded)) return false;
        ExpectedSplit split(expanded, system_.lead);
        size_t nameLength = split.extensionStart - split.directoryEnd;
        size_t extensionLength = expanded.size() - split.extensionStart;
        if (nameLength > kMaxPathPart || extensionLength > kMaxPathPart) return false;
        std::string name = expanded.substr(split.directoryEnd);
        return name.size() < kCandidateCapacity && ExpectedForm(name, system_.lead) == kBareName &&
               LookUpExpanded(name, found);
    }

    bool Resolve(const std::string& text, Resolution* out) const {
        for (size_t space = text.find(' '); space != std::string::npos;
             space = text.find(' ', space + 1)) {
            if (space >= kCandidateCapacity) break;
            std::string candidate = text.substr(0, space);
            out->parameters = space + 1 < text.size() ? space + 1 : std::string::npos;
            out->step = kAsWritten;
            if (LookUp(candidate, &out->program)) return true;
            out->step = kFileNameOnly;
            if (LookUpFileName(candidate, &out->program)) return true;
        }
        out->parameters = std::string::npos;
        out->step = kWholeText;
        if (LookUp(text, &out->program)) return true;

        // The system's reading: a quoted program, else up to the first blank.
        std::string program;
        size_t parameters;
        ExpectedSystemReading(text, &program, &parameters);
        if (program.empty() || program.size() >= kCandidateCapacity) return false;
        out->parameters = parameters;
        out->step = kSystemReading;
        return LookUp(program, &out->program);
    }

private:
    bool IsFile(const std::string& path) const { return system_.files.count(path) != 0; }

    // Whether `path` starts with the system directory and a separator:
    // character by character, ASCII case folded, '/' the same as '\'.
    bool InSystemDirectory(const std::string& path) const {
        auto separator = [](char c) { return c == '\\' || c == '/'; };
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        size_t i = 0;
        for (const std::string& character : Characters(system_.systemDirectory, system_.lead)) {
            if (i + character.size() > path.size()) return false;
            bool same = character.size() == 2
                            ? path.compare(i, 2, character) == 0
                            : (separator(path[i]) && separator(character[0])) ||
                                  lower(path[i]) == lower(character[0]);
            if (!same) return false;
            i += character.size();
        }
        return i > 0 && i < path.size() && separator(path[i]);
    }

    // Under WOW64 a file in the system directory is taken through the
    // native alias when the native file is there. The system's alias is the
    // Windows directory's Sysnative folder; one that is no absolute path
    // (none outside WOW64) is never used.
    bool TakeFile(const std::string& path, std::string* found) const {
        if (ExpectedForm(system_.nativeSystemAlias, system_.lead) == kAbsolutePath &&
            InSystemDirectory(path)) {
            std::string native = system_.nativeSystemAlias + path.substr(system_.systemDirectory.size());
            if (native.size() < kProgramPathCapacity && IsFile(native)) {
                *found = native;
                return true;
            }
        }
        *found = path;
        return IsFile(path);
    }

    const FuzzSystem& system_;
};

std::string Shown(const char* text) { return text ? Escaped(text) : "none"; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> field = SplitFields(data, size, 10);
    std::vector<unsigned> n = ParseNumbers(field[0], {932, 2, 0, 0});
    FuzzSystem system;
    system.lead = SystemLeadBytes(n[0], n[1], field[1]);
    for (const std::string& file : Items(field[2])) system.files.insert(file);
    for (const std::string& folder : Items(field[3])) system.folders.insert(folder);
    system.SetEnvironment(field[4]);
    system.systemDirectory = AsText(field[5]);
    system.windowsDirectory = AsText(field[6]);
    system.searchPath = AsText(field[7]);
    // The platform gives an alias only under WOW64.
    if (n[3] & 1) system.nativeSystemAlias = AsText(field[8]);
    std::string text = AsText(field[9]);

    FactsCopy copy(&system);
    std::unique_ptr<char[]> textCopy = ExactCopy(text, true);
    Buffer program(kProgramPathCapacity, n[2] & 1);
    ResolvedCommand resolved = {nullptr, nullptr};
    bool found = ResolveProgram(textCopy.get(), &copy.facts, program.data(), &resolved);

    Resolution want;
    bool expectFound = Reference(system).Resolve(text, &want);
    std::string what = "ResolveProgram of " + Escaped(text);
    Check(program.SurroundIntact(), what + ": bytes around the program buffer unchanged");
    Check(memcmp(textCopy.get(), text.c_str(), text.size() + 1) == 0, what + ": text unchanged");
    CheckEqual(what + ": result", expectFound, found);
    if (!found) return 0;

    Check(resolved.program == program.data(), what + ": program in the program buffer");
    std::string got = program.CheckedText(what);
    CheckEqual(what + ": program", want.program, got);
    Check(system.files.count(got) != 0, what + ": program names a file");
    Check(ExpectedForm(got, system.lead) == kAbsolutePath, what + ": program is an absolute path");
    // Expanded once, the program holds no reference the environment or the
    // Windows folder would still expand, unless the facts brought one in or
    // the name was cut from an expanded path ("%a\%x%" leaves "%x%", the name
    // of the file found).
    std::string again;
    if (!system.FactsHoldPercent() && want.step != kFileNameOnly &&
        ExpectedExpansion(got, system, SIZE_MAX, &again)) {
        CheckEqual(what + ": program expanded again", got, again);
    }
    const char* params = want.parameters == std::string::npos ? nullptr : textCopy.get() + want.parameters;
    if (resolved.parameters != params) Fail(what + ": parameters", Shown(params), Shown(resolved.parameters));
    if (params != nullptr) {
        // After a blank, or right after the closing quote of "x.exe"a.
        Check(params > textCopy.get() && (params[-1] == ' ' || params[-1] == '\t' ||
                                          (want.step == kSystemReading && params[-1] == '"')),
              what + ": parameters follow a blank");
    }
    return 0;
}
