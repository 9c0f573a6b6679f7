#include "execute_and_wait.h"

#include "text_buffer.h"

namespace {

const char* ParametersAfter(const char* afterSpace) {
    return *afterSpace != '\0' ? afterSpace : nullptr;
}

// The resolution's last resort: the file name and extension of the
// expanded candidate, in the system folders. A name or extension longer
// than the split keeps (255 bytes, as long as a file name can be) is no
// file's name: it is not looked up.
bool LookUpFileNameOf(const char* expanded, const SystemFacts* facts, char* program) {
    PathParts parts;
    FindPathParts(expanded, facts->lead, &parts);
    const char* name = expanded + parts.directoryEnd;
    return parts.extensionStart - parts.directoryEnd <= kMaxPathPart &&
           parts.end - parts.extensionStart <= kMaxPathPart && FormOf(name, facts->lead) == kBareName &&
           LookUpExpanded(name, facts, program, kProgramPathCapacity);
}

}  // namespace

bool ResolveProgram(const char* text, const SystemFacts* facts, char* program,
                    ResolvedCommand* resolved) {
    char candidate[kCandidateCapacity];
    char expanded[kProgramPathCapacity];
    for (int space = 0; text[space] != '\0'; ++space) {
        if (text[space] != ' ') continue;
        // A candidate too long for its buffer ends the search by spaces.
        if (CopyBytes(candidate, sizeof(candidate), text, space) != 0) break;
        // Expanded once, for the candidate and for its file name.
        if (ExpandReferences(candidate, facts, expanded, sizeof(expanded)) == 0 &&
            (LookUpExpanded(expanded, facts, program, kProgramPathCapacity) ||
             LookUpFileNameOf(expanded, facts, program))) {
            resolved->program = program;
            resolved->parameters = ParametersAfter(text + space + 1);
            return true;
        }
    }

    // No space ended a program: the whole text may be one whose path holds
    // spaces, else the program is read as the system reads a command line.
    if (LookUpProgram(text, facts, program, kProgramPathCapacity)) {
        resolved->program = program;
        resolved->parameters = nullptr;
        return true;
    }
    ResolvedCommand split;
    if (SplitAtProgramName(text, candidate, sizeof(candidate), &split) &&
        LookUpProgram(candidate, facts, program, kProgramPathCapacity)) {
        resolved->program = program;
        resolved->parameters = split.parameters;
        return true;
    }
    return false;
}

bool SplitAtProgramName(const char* text, char* program, int programCapacity,
                        ResolvedCommand* resolved) {
    while (IsBlank(*text)) ++text;

    const char* programStart = text;
    const char* rest;
    if (*text == '"') {
        programStart = ++text;
        while (*text != '\0' && *text != '"') ++text;
        rest = *text == '"' ? text + 1 : text;
    } else {
        while (*text != '\0' && !IsBlank(*text)) ++text;
        rest = text;
    }
    int programLength = static_cast<int>(text - programStart);
    if (programLength == 0) return false;
    if (CopyBytes(program, programCapacity, programStart, programLength) != 0) return false;

    while (IsBlank(*rest)) ++rest;
    resolved->program = program;
    resolved->parameters = ParametersAfter(rest);
    return true;
}
