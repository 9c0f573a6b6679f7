// Reads the resources of a built Tavrel.exe through the calls Windows itself
// and other programs use. (That the program runs with its manifest in place
// is shown by every test under Wine, the empty-argument case first.)
//
//   resource_check
//
// Reads Tavrel.exe and expected_resources.txt from its own folder, where the
// build lays them out (windows-tests). The expectations are those
// check_pe.py reads too (see that file).
// Prints one line per failed check and exits with 1 if there was any.

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

int failures = 0;

void Fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    ++failures;
}

void ExpectNumber(const char* what, unsigned long expected, unsigned long got) {
    if (expected != got) Fail("%s: expected 0x%lx, got 0x%lx", what, expected, got);
}

// ---- The expectations, from expected_resources.txt.

struct ExpectedResource {
    WORD type;
    char name[32];  // a number's digits, or a text name
    WORD languages[4];
    int languageCount;
};

struct ExpectedMessage {
    WORD language;
    int id;
    wchar_t text[128];
};

struct ExpectedIcon {
    int id;
    int size;
    int colours;  // as the group entry counts them: 0 stands for 256
    int bits;
};

struct ExpectedField {
    char name[32];
    DWORD value;
};

struct ExpectedString {
    char key[32];
    char value[128];
};

struct Expected {
    ExpectedResource resources[16];
    int resourceCount;
    ExpectedMessage messages[8];
    int messageCount;
    ExpectedIcon icons[8];
    int iconCount;
    ExpectedField fixed[13];
    int fixedCount;
    WORD language;
    WORD codePage;
    ExpectedString strings[16];
    int stringCount;
};

Expected expected;

// Splits a line at its tabs, in place; a missing trailing field is empty.
int SplitFields(char* line, char** fields, int capacity) {
    int count = 0;
    fields[count++] = line;
    for (char* p = line; *p != '\0'; ++p) {
        if (*p == '\t' && count < capacity) {
            *p = '\0';
            fields[count++] = p + 1;
        }
    }
    for (int i = count; i < capacity; ++i) fields[i] = const_cast<char*>("");
    return count;
}

DWORD Number(const char* text) { return strtoul(text, nullptr, 0); }

void Copy(char* out, size_t capacity, const char* text) { snprintf(out, capacity, "%s", text); }

bool ReadExpected(const char* path) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        printf("%s: expected the expectations file, got no such file\n", path);
        return false;
    }
    Expected& e = expected;
    char line[512];
    bool fits = true;
    while (fgets(line, sizeof(line), file) != nullptr) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == '\0' || line[0] == '#') continue;
        char* f[5];
        SplitFields(line, f, 5);
        if (strcmp(f[0], "resource") == 0 && e.resourceCount < 16) {
            ExpectedResource& r = e.resources[e.resourceCount++];
            r.type = static_cast<WORD>(Number(f[1]));
            Copy(r.name, sizeof(r.name), f[2]);
            for (char* language = strtok(f[3], ","); language != nullptr && r.languageCount < 4;
                 language = strtok(nullptr, ",")) {
                r.languages[r.languageCount++] = static_cast<WORD>(Number(language));
            }
        } else if (strcmp(f[0], "message") == 0 && e.messageCount < 8) {
            ExpectedMessage& m = e.messages[e.messageCount++];
            m.language = static_cast<WORD>(Number(f[1]));
            m.id = static_cast<int>(Number(f[2]));
            if (MultiByteToWideChar(CP_UTF8, 0, f[3], -1, m.text, 128) == 0) m.text[0] = L'\0';
        } else if (strcmp(f[0], "icon") == 0 && e.iconCount < 8) {
            ExpectedIcon& i = e.icons[e.iconCount++];
            i.id = static_cast<int>(Number(f[1]));
            i.size = static_cast<int>(Number(f[2]));
            i.colours = static_cast<int>(Number(f[3]));
            i.bits = static_cast<int>(Number(f[4]));
        } else if (strcmp(f[0], "fixed") == 0 && e.fixedCount < 13) {
            ExpectedField& field = e.fixed[e.fixedCount++];
            Copy(field.name, sizeof(field.name), f[1]);
            field.value = Number(f[2]);
        } else if (strcmp(f[0], "translation") == 0) {
            e.language = static_cast<WORD>(Number(f[1]));
            e.codePage = static_cast<WORD>(Number(f[2]));
        } else if (strcmp(f[0], "string") == 0 && e.stringCount < 16) {
            ExpectedString& s = e.strings[e.stringCount++];
            Copy(s.key, sizeof(s.key), f[1]);
            Copy(s.value, sizeof(s.value), f[2]);
        } else {
            printf("%s: unknown record, or more records than this check holds: %s\n", path,
                   f[0]);
            fits = false;
        }
    }
    fclose(file);
    return fits;
}

// A resource name as the resource calls take it: digits are an id.
LPCSTR ResourceNameOf(const char* name) {
    if (name[0] >= '0' && name[0] <= '9') return MAKEINTRESOURCEA(atoi(name));
    return name;
}

const char* IconGroupName() {
    for (int i = 0; i < expected.resourceCount; ++i) {
        if (expected.resources[i].type == 14) return expected.resources[i].name;  // RT_GROUP_ICON
    }
    return "(no icon group expected)";
}

struct Blob {
    const BYTE* data;
    DWORD size;
};

Blob FindInLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
    Blob blob = {nullptr, 0};
    HRSRC info = FindResourceExA(module, type, name, language);
    if (info == nullptr) return blob;
    blob.data = static_cast<const BYTE*>(LockResource(LoadResource(module, info)));
    blob.size = SizeofResource(module, info);
    return blob;
}

// Every resource is in the version's language; the messages are in others too.
Blob Find(HMODULE module, LPCSTR type, LPCSTR name) {
    return FindInLanguage(module, type, name, expected.language);
}

// ---- Which resources exist, and in which languages.

struct Languages {
    WORD ids[8];
    int count;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    Languages* found = reinterpret_cast<Languages*>(param);
    if (found->count < 8) found->ids[found->count] = language;
    ++found->count;
    return TRUE;
}

void CheckLanguages(HMODULE module) {
    for (int i = 0; i < expected.resourceCount; ++i) {
        const ExpectedResource& r = expected.resources[i];
        Languages found = {{0}, 0};
        EnumResourceLanguagesA(module, MAKEINTRESOURCEA(r.type), ResourceNameOf(r.name),
                               CollectLanguage, reinterpret_cast<LONG_PTR>(&found));
        bool same = found.count == r.languageCount;
        for (int want = 0; same && want < r.languageCount; ++want) {
            bool seen = false;
            for (int k = 0; k < found.count && k < 8; ++k) {
                seen |= found.ids[k] == r.languages[want];
            }
            same = seen;
        }
        if (!same) {
            char want[64] = "", got[64] = "";
            for (int k = 0; k < r.languageCount; ++k) {
                size_t used = strlen(want);
                snprintf(want + used, sizeof(want) - used, " 0x%04x", r.languages[k]);
            }
            for (int k = 0; k < found.count && k < 8; ++k) {
                size_t used = strlen(got);
                snprintf(got + used, sizeof(got) - used, " 0x%04x", found.ids[k]);
            }
            Fail("resource type %u %s: expected the languages%s, got%s", r.type, r.name, want,
                 found.count == 0 ? " none" : got);
        }
    }
}

// ---- Messages, in each language: ids 96 to 111 of the block, empty but
// for the messages, and nothing after them.

void CheckMessages(HMODULE module, WORD language, int blockNumber) {
    Blob block = FindInLanguage(module, RT_STRING, MAKEINTRESOURCEA(blockNumber), language);
    if (block.data == nullptr) return;  // reported with the languages
    const WCHAR* p = reinterpret_cast<const WCHAR*>(block.data);
    const WCHAR* end = p + block.size / sizeof(WCHAR);
    for (int id = 16 * (blockNumber - 1); id < 16 * blockNumber; ++id) {
        if (p >= end) {
            Fail("string %d in 0x%04x: expected within the block, got the end of its %lu bytes",
                 id, language, block.size);
            return;
        }
        const wchar_t* want = L"";
        for (int i = 0; i < expected.messageCount; ++i) {
            const ExpectedMessage& m = expected.messages[i];
            if (m.language == language && m.id == id) want = m.text;
        }
        int length = *p++;
        if (p + length > end) length = static_cast<int>(end - p);
        int wantLength = static_cast<int>(wcslen(want));
        if (length != wantLength || memcmp(p, want, length * sizeof(WCHAR)) != 0) {
            char wantText[256], got[256];
            wantText[WideCharToMultiByte(CP_UTF8, 0, want, wantLength, wantText,
                                         sizeof(wantText) - 1, nullptr, nullptr)] = '\0';
            got[WideCharToMultiByte(CP_UTF8, 0, p, length, got, sizeof(got) - 1, nullptr,
                                    nullptr)] = '\0';
            Fail("string %d in 0x%04x: expected \"%s\", got \"%s\"", id, language, wantText, got);
        }
        p += length;
    }
    if (p != end) {
        Fail("string block %d in 0x%04x: expected nothing after its strings, got %d more bytes",
             blockNumber, language, static_cast<int>((end - p) * sizeof(WCHAR)));
    }
}

void CheckAllMessages(HMODULE module) {
    for (int i = 0; i < expected.resourceCount; ++i) {
        const ExpectedResource& r = expected.resources[i];
        if (r.type != 6) continue;  // RT_STRING
        for (int k = 0; k < r.languageCount; ++k) {
            CheckMessages(module, r.languages[k], atoi(r.name));
        }
    }
}

// ---- The icon group and its images.

#pragma pack(push, 2)
struct GroupHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bits;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// The corner is transparent, the middle of the box front is not.
void CheckMask(const char* label, HICON icon, int size) {
    ICONINFO info;
    if (!GetIconInfo(icon, &info)) {
        Fail("%s: expected icon info, got error %lu", label, GetLastError());
        return;
    }
    BITMAP bitmap;
    GetObjectA(info.hbmColor, sizeof(bitmap), &bitmap);
    ExpectNumber(label, size, bitmap.bmWidth);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, info.hbmMask);
    COLORREF corner = GetPixel(dc, 0, 0);
    COLORREF front = GetPixel(dc, size / 2, size * 3 / 4);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    if (corner != RGB(255, 255, 255)) {
        Fail("%s mask at (0,0): expected transparent 0xffffff, got 0x%06lx", label, corner);
    }
    if (front != RGB(0, 0, 0)) {
        Fail("%s mask at (%d,%d): expected opaque 0x000000, got 0x%06lx", label, size / 2,
             size * 3 / 4, front);
    }
}

void CheckIcons(HMODULE module) {
    const char* groupName = IconGroupName();
    const int count = expected.iconCount;
    Blob group = Find(module, RT_GROUP_ICON, groupName);
    if (group.data == nullptr) return;
    const GroupHeader* header = reinterpret_cast<const GroupHeader*>(group.data);
    ExpectNumber("group type", 1, header->type);
    ExpectNumber("group image count", count, header->count);
    if (header->count != count ||
        group.size < sizeof(GroupHeader) + count * sizeof(GroupEntry)) {
        return;
    }
    const GroupEntry* entries = reinterpret_cast<const GroupEntry*>(header + 1);

    for (int i = 0; i < count; ++i) {
        const ExpectedIcon& want = expected.icons[i];
        const GroupEntry& entry = entries[i];
        char label[64];
        snprintf(label, sizeof(label), "group entry %d", i + 1);
        if (entry.id != want.id || entry.width != want.size || entry.height != want.size ||
            entry.colours != want.colours || entry.planes != 1 || entry.bits != want.bits) {
            Fail("%s: expected id %d %dx%d colours %d planes 1 bits %d, "
                 "got id %u %ux%u colours %u planes %u bits %u",
                 label, want.id, want.size, want.size, want.colours, want.bits, entry.id,
                 entry.width, entry.height, entry.colours, entry.planes, entry.bits);
        }

        snprintf(label, sizeof(label), "RT_ICON %d", want.id);
        Blob image = Find(module, RT_ICON, MAKEINTRESOURCEA(want.id));
        if (image.data == nullptr) continue;
        ExpectNumber("group entry size of its image", image.size, entry.bytes);
        const BITMAPINFOHEADER* dib = reinterpret_cast<const BITMAPINFOHEADER*>(image.data);
        int rowXor = (want.size * want.bits + 31) / 32 * 4;
        int rowAnd = (want.size + 31) / 32 * 4;
        DWORD bytes = sizeof(BITMAPINFOHEADER) + (4u << want.bits) +
                      static_cast<DWORD>((rowXor + rowAnd) * want.size);
        if (image.size != bytes || dib->biSize != sizeof(BITMAPINFOHEADER) ||
            dib->biWidth != want.size || dib->biHeight != 2 * want.size ||
            dib->biPlanes != 1 || dib->biBitCount != want.bits ||
            dib->biCompression != BI_RGB) {
            Fail("%s: expected a %lu-byte DIB %dx%d (height %d) with %d bits, "
                 "got %lu bytes, header %lu, %ldx%ld, %u planes, %u bits, compression %lu",
                 label, bytes, want.size, want.size, 2 * want.size, want.bits, image.size,
                 dib->biSize, dib->biWidth, dib->biHeight, dib->biPlanes, dib->biBitCount,
                 dib->biCompression);
            continue;
        }
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data), image.size, TRUE,
                                              0x00030000, 0, 0, LR_DEFAULTCOLOR);
        if (icon == nullptr) {
            Fail("%s: expected an icon from its data, got error %lu", label, GetLastError());
            continue;
        }
        CheckMask(label, icon, want.size);
        DestroyIcon(icon);
    }

    const int loadSizes[] = {16, 32};
    for (int size : loadSizes) {
        char label[64];
        snprintf(label, sizeof(label), "LoadImageA %s at %d", groupName, size);
        HICON icon = static_cast<HICON>(
            LoadImageA(module, groupName, IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        if (icon == nullptr) {
            Fail("%s: expected an icon, got error %lu", label, GetLastError());
            continue;
        }
        CheckMask(label, icon, size);
        DestroyIcon(icon);
    }
}

// ---- Version block.

// VS_FIXEDFILEINFO's fields, in the structure's order.
const char* const kFixedFields[] = {
    "dwSignature", "dwStrucVersion", "dwFileVersionMS", "dwFileVersionLS",
    "dwProductVersionMS", "dwProductVersionLS", "dwFileFlagsMask", "dwFileFlags",
    "dwFileOS", "dwFileType", "dwFileSubtype", "dwFileDateMS", "dwFileDateLS",
};

void CheckVersion(const char* path) {
    static BYTE block[16384];
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0 || size > sizeof(block) || !GetFileVersionInfoA(path, 0, size, block)) {
        Fail("GetFileVersionInfoA: expected a block of at most %u bytes, got size %lu, error %lu",
             static_cast<unsigned>(sizeof(block)), size, GetLastError());
        return;
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block, "\\", reinterpret_cast<void**>(&fixed), &length) ||
        length != sizeof(VS_FIXEDFILEINFO)) {
        Fail("VerQueryValueA \\: expected %u bytes, got %u",
             static_cast<unsigned>(sizeof(VS_FIXEDFILEINFO)), length);
    } else {
        static_assert(sizeof(VS_FIXEDFILEINFO) == sizeof(kFixedFields) / sizeof(char*) * 4,
                      "a name for each field");
        const DWORD* values = reinterpret_cast<const DWORD*>(fixed);
        ExpectNumber("fields of VS_FIXEDFILEINFO expected", 13, expected.fixedCount);
        for (int i = 0; i < expected.fixedCount && i < 13; ++i) {
            if (strcmp(expected.fixed[i].name, kFixedFields[i]) != 0) {
                Fail("fixed field %d: expected %s in the expectations, got %s", i + 1,
                     kFixedFields[i], expected.fixed[i].name);
            }
            ExpectNumber(kFixedFields[i], expected.fixed[i].value, values[i]);
        }
    }

    for (int i = 0; i < expected.stringCount; ++i) {
        const ExpectedString& s = expected.strings[i];
        char query[80];
        snprintf(query, sizeof(query), "\\StringFileInfo\\%04x%04x\\%s", expected.language,
                 expected.codePage, s.key);
        char* text = nullptr;
        length = 0;
        if (!VerQueryValueA(block, query, reinterpret_cast<void**>(&text), &length)) {
            Fail("%s: expected \"%s\", got no value", query, s.value);
            continue;
        }
        // The length counts the NUL; an empty value is one NUL, never nothing.
        size_t want = strlen(s.value) + 1;
        if (length != want || text[want - 1] != '\0' || strcmp(text, s.value) != 0) {
            Fail("%s: expected \"%s\" (%u bytes with its NUL), got \"%.*s\" (%u bytes)", query,
                 s.value, static_cast<unsigned>(want), static_cast<int>(length), text, length);
        }
    }

    WORD* translation = nullptr;
    length = 0;
    if (!VerQueryValueA(block, "\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length != 4) {
        Fail("\\VarFileInfo\\Translation: expected 4 bytes, got %u", length);
    } else if (translation[0] != expected.language || translation[1] != expected.codePage) {
        Fail("\\VarFileInfo\\Translation: expected 0x%04x 0x%04x, got 0x%04x 0x%04x",
             expected.language, expected.codePage, translation[0], translation[1]);
    }
}

// ---- Manifest, as the loader reads it.

void CheckManifest(HMODULE module, const char* path) {
    Blob manifest = Find(module, RT_MANIFEST, MAKEINTRESOURCEA(1));
    if (manifest.data != nullptr &&
        (manifest.size < 3 || memcmp(manifest.data, "\xEF\xBB\xBF", 3) != 0)) {
        Fail("RT_MANIFEST 1: expected a UTF-8 byte order mark, got %lu bytes starting 0x%02x",
             manifest.size, manifest.size > 0 ? manifest.data[0] : 0);
    }

    ACTCTXA request;
    memset(&request, 0, sizeof(request));
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path;
    request.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE context = CreateActCtxA(&request);
    if (context == INVALID_HANDLE_VALUE) {
        Fail("CreateActCtxA from manifest 1: expected a context, got error %lu", GetLastError());
        return;
    }

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level;
    memset(&level, 0, sizeof(level));
    if (!QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &level,
                      sizeof(level), nullptr)) {
        Fail("QueryActCtxW run level: expected it, got error %lu", GetLastError());
    } else {
        ExpectNumber("run level", ACTCTX_RUN_LEVEL_REQUIRE_ADMIN, level.RunLevel);
        ExpectNumber("uiAccess", 0, level.UiAccess);
    }

    // The dependency makes comctl32.dll load from the side-by-side store,
    // from the folder of version 6 published under the platform's key.
    const char kVersion6[] = "common-controls_6595b64144ccf1df_6.";
    char loaded[MAX_PATH] = "(not loaded)";
    ULONG_PTR cookie = 0;
    if (ActivateActCtx(context, &cookie)) {
        HMODULE comctl = LoadLibraryA("comctl32.dll");
        if (comctl != nullptr) {
            GetModuleFileNameA(comctl, loaded, sizeof(loaded));
            FreeLibrary(comctl);
        }
        DeactivateActCtx(0, cookie);
    }
    CharLowerA(loaded);
    if (strstr(loaded, kVersion6) == nullptr) {
        Fail("comctl32.dll in the manifest's context: expected a path holding %s, got %s",
             kVersion6, loaded);
    }
    ReleaseActCtx(context);
}

}  // namespace

int main(int argc, char**) {
    if (argc != 1) {
        printf("usage: resource_check (it reads Tavrel.exe and expected_resources.txt beside itself)\n");
        return 2;
    }
    char folder[MAX_PATH] = {}, path[MAX_PATH], expectations[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, folder, sizeof(folder));
    if (length == 0 || length >= sizeof(folder)) return 2;
    *strrchr(folder, '\\') = '\0';
    snprintf(path, sizeof(path), "%s\\Tavrel.exe", folder);
    snprintf(expectations, sizeof(expectations), "%s\\expected_resources.txt", folder);
    if (!ReadExpected(expectations)) return 1;

    HMODULE module =
        LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        printf("LoadLibraryExA %s: expected a module, got error %lu\n", path, GetLastError());
        return 1;
    }
    CheckLanguages(module);
    CheckAllMessages(module);
    CheckIcons(module);
    CheckManifest(module, path);
    FreeLibrary(module);
    CheckVersion(path);

    if (failures != 0) printf("%d resource checks failed\n", failures);
    return failures == 0 ? 0 : 1;
}
