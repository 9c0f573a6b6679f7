#include "execute_and_wait.h"

#include "text_buffer.h"

namespace {

const char* ParametersAfter(const char* afterSpace) {
    return *afterSpace != '\0' ? afterSpace : nullptr;
}

}  // namespace

bool ResolveProgram(const char* text, const LeadBytes* lead, FileSearch search,
                    void* context, char* candidate, char* name,
                    ResolvedCommand* resolved) {
    int space = 0;
    while (text[space] != '\0' && text[space] != ' ') ++space;
    if (text[space] == '\0') {
        resolved->program = text;
        resolved->parameters = nullptr;
        return true;
    }

    for (; text[space] != '\0'; ++space) {
        if (text[space] != ' ') continue;
        if (CopyBytes(candidate, kCandidateCapacity, text, space) != 0) return false;
        const char* parameters = ParametersAfter(text + space + 1);

        if (search(candidate, context)) {
            resolved->program = candidate;
            resolved->parameters = parameters;
            return true;
        }

        // A name the split had to cut is not the program's: never search it.
        char extension[kCandidateCapacity];
        bool whole = SplitPath(candidate, lead, nullptr, 0, nullptr, 0, name, kCandidateCapacity,
                               extension, kCandidateCapacity);
        if (whole && AppendText(name, kCandidateCapacity, extension) == 0 && search(name, context)) {
            resolved->program = name;
            resolved->parameters = parameters;
            return true;
        }
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
