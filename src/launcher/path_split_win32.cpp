#include <windows.h>

#include "path_split.h"

void LoadAnsiLeadBytes(LeadBytes* lead) {
    UINT codePage = GetACP();
    CPINFO info;
    if (!GetCPInfo(codePage, &info)) {
        LeadBytesForCodePage(lead, codePage, 1, nullptr, 0);
        return;
    }
    LeadBytesForCodePage(lead, codePage, info.MaxCharSize, info.LeadByte, MAX_LEADBYTES);
}
