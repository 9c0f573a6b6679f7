// Reads the resources of a built Tavrel.exe through the calls Windows itself
// and other programs use. (That the program runs with its manifest in place
// is shown by every test under Wine, the empty-argument case first.)
//
//   resource_check <path of Tavrel.exe>
//
// A path starting with '/' is a Unix path and is read on Wine's Z: drive.
// Prints one line per failed check and exits with 1 if there was any.

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace {

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);  // 0x0411
const WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 0x0409

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

void ToWindowsPath(const char* path, char* out, size_t capacity) {
    size_t n = 0;
    if (path[0] == '/' && capacity > 3) {
        out[n++] = 'Z';
        out[n++] = ':';
    }
    for (; *path != '\0' && n + 1 < capacity; ++path) out[n++] = *path == '/' ? '\\' : *path;
    out[n] = '\0';
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

Blob FindJapanese(HMODULE module, LPCSTR type, LPCSTR name) {
    return FindInLanguage(module, type, name, kJapanese);
}

// ---- Every resource exists in Japanese; only the messages also in English.

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

struct ResourceName {
    const char* label;
    LPCSTR type;
    LPCSTR name;
    bool alsoEnglish;
};

const ResourceName kResources[] = {
    {"RT_MANIFEST 1", RT_MANIFEST, MAKEINTRESOURCEA(1), false},
    {"RT_GROUP_ICON IDI_TAVREL20", RT_GROUP_ICON, "IDI_TAVREL20", false},
    {"RT_ICON 1", RT_ICON, MAKEINTRESOURCEA(1), false},
    {"RT_ICON 2", RT_ICON, MAKEINTRESOURCEA(2), false},
    {"RT_ICON 3", RT_ICON, MAKEINTRESOURCEA(3), false},
    {"RT_ICON 4", RT_ICON, MAKEINTRESOURCEA(4), false},
    {"RT_VERSION 1", RT_VERSION, MAKEINTRESOURCEA(1), false},
    {"RT_STRING block 7", RT_STRING, MAKEINTRESOURCEA(7), true},
};

void CheckLanguages(HMODULE module) {
    for (const ResourceName& r : kResources) {
        Languages found = {{0}, 0};
        EnumResourceLanguagesA(module, r.type, r.name, CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&found));
        bool japanese = false, english = false, other = false;
        for (int i = 0; i < found.count && i < 8; ++i) {
            if (found.ids[i] == kJapanese) japanese = true;
            else if (found.ids[i] == kEnglish) english = true;
            else other = true;
        }
        int expectedCount = r.alsoEnglish ? 2 : 1;
        if (!japanese || english != r.alsoEnglish || other || found.count != expectedCount) {
            Fail("%s: expected language 0x%04x%s only, got %d languages, the first 0x%04x",
                 r.label, kJapanese, r.alsoEnglish ? " and 0x0409" : "", found.count,
                 found.count > 0 ? found.ids[0] : 0);
        }
    }
}

// ---- Messages: ids 101 and 102 in block 7 (ids 96 to 111), in each language.

struct Message {
    WORD language;
    int id;
    const wchar_t* text;
};

const Message kMessages[] = {
    {kJapanese, 101, L"このセットアップは壊れています。"},
    {kJapanese, 102, L"このセットアップは、このOSをサポートしていません。"},
    {kEnglish, 101, L"This setup is broken."},
    {kEnglish, 102, L"This setup does not support this operating system."},
};

void CheckMessages(HMODULE module, WORD language) {
    Blob block = FindInLanguage(module, RT_STRING, MAKEINTRESOURCEA(7), language);
    if (block.data == nullptr) return;  // reported with the languages
    const WCHAR* p = reinterpret_cast<const WCHAR*>(block.data);
    const WCHAR* end = p + block.size / sizeof(WCHAR);
    for (int id = 96; id < 112; ++id) {
        if (p >= end) {
            Fail("string %d in 0x%04x: expected within the block, got the end of its %lu bytes",
                 id, language, block.size);
            return;
        }
        const wchar_t* expected = L"";
        for (const Message& m : kMessages) {
            if (m.language == language && m.id == id) expected = m.text;
        }
        int length = *p++;
        if (p + length > end) length = static_cast<int>(end - p);
        int expectedLength = static_cast<int>(wcslen(expected));
        if (length != expectedLength || memcmp(p, expected, length * sizeof(WCHAR)) != 0) {
            char want[256], got[256];
            want[WideCharToMultiByte(CP_UTF8, 0, expected, expectedLength, want,
                                     sizeof(want) - 1, nullptr, nullptr)] = '\0';
            got[WideCharToMultiByte(CP_UTF8, 0, p, length, got, sizeof(got) - 1, nullptr,
                                    nullptr)] = '\0';
            Fail("string %d in 0x%04x: expected \"%s\", got \"%s\"", id, language, want, got);
        }
        p += length;
    }
    if (p != end) {
        Fail("string block 7 in 0x%04x: expected nothing after its strings, got %d more bytes",
             language, static_cast<int>((end - p) * sizeof(WCHAR)));
    }
}

// ---- Icon group and its four images.

struct IconImage {
    int id;
    int size;
    int colours;  // as the group entry counts them: 0 stands for 256
    int bits;
};

const IconImage kIcons[] = {
    {1, 16, 16, 4},
    {2, 32, 16, 4},
    {3, 16, 0, 8},
    {4, 32, 0, 8},
};

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
    Blob group = FindJapanese(module, RT_GROUP_ICON, "IDI_TAVREL20");
    if (group.data == nullptr) return;
    const GroupHeader* header = reinterpret_cast<const GroupHeader*>(group.data);
    ExpectNumber("group type", 1, header->type);
    ExpectNumber("group image count", 4, header->count);
    if (header->count != 4 || group.size < sizeof(GroupHeader) + 4 * sizeof(GroupEntry)) return;
    const GroupEntry* entries = reinterpret_cast<const GroupEntry*>(header + 1);

    for (int i = 0; i < 4; ++i) {
        const IconImage& want = kIcons[i];
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
        Blob image = FindJapanese(module, RT_ICON, MAKEINTRESOURCEA(want.id));
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
        snprintf(label, sizeof(label), "LoadImageA IDI_TAVREL20 at %d", size);
        HICON icon = static_cast<HICON>(
            LoadImageA(module, "IDI_TAVREL20", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        if (icon == nullptr) {
            Fail("%s: expected an icon, got error %lu", label, GetLastError());
            continue;
        }
        CheckMask(label, icon, size);
        DestroyIcon(icon);
    }
}

// ---- Version block.

struct VersionString {
    const char* key;
    const char* value;
};

const VersionString kVersionStrings[] = {
    {"Comments", ""},
    {"CompanyName", "Tavrel project"},
    {"FileDescription", ""},
    {"FileVersion", "2, 0, 0, 107"},
    {"InternalName", "Tavrel"},
    {"LegalCopyright", "Copyright (C) 2026 Tavrel project"},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "Tavrel.exe"},
    {"PrivateBuild", ""},
    {"ProductName", "Tavrel Version 2.0 R2"},
    {"ProductVersion", "2, 0, 0, 107"},
    {"SpecialBuild", ""},
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
        const struct {
            const char* field;
            DWORD expected;
            DWORD got;
        } fields[] = {
            {"dwSignature", 0xFEEF04BD, fixed->dwSignature},
            {"dwFileVersionMS", 0x00020000, fixed->dwFileVersionMS},
            {"dwFileVersionLS", 0x0000006B, fixed->dwFileVersionLS},
            {"dwProductVersionMS", 0x00020000, fixed->dwProductVersionMS},
            {"dwProductVersionLS", 0x0000006B, fixed->dwProductVersionLS},
            {"dwFileFlagsMask", 0x17, fixed->dwFileFlagsMask},
            {"dwFileFlags", 0, fixed->dwFileFlags},
            {"dwFileOS", VOS__WINDOWS32, fixed->dwFileOS},
            {"dwFileType", 0, fixed->dwFileType},
            {"dwFileSubtype", 0, fixed->dwFileSubtype},
        };
        for (const auto& f : fields) ExpectNumber(f.field, f.expected, f.got);
    }

    for (const VersionString& s : kVersionStrings) {
        char query[80];
        snprintf(query, sizeof(query), "\\StringFileInfo\\041104b0\\%s", s.key);
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
    } else if (translation[0] != 0x0411 || translation[1] != 0x04b0) {
        Fail("\\VarFileInfo\\Translation: expected 0x0411 0x04b0, got 0x%04x 0x%04x",
             translation[0], translation[1]);
    }
}

// ---- Manifest, as the loader reads it.

void CheckManifest(HMODULE module, const char* path) {
    Blob manifest = FindJapanese(module, RT_MANIFEST, MAKEINTRESOURCEA(1));
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

int main(int argc, char** argv) {
    if (argc != 2) {
        printf("usage: resource_check <path of Tavrel.exe>\n");
        return 2;
    }
    char path[MAX_PATH];
    ToWindowsPath(argv[1], path, sizeof(path));

    HMODULE module =
        LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        printf("LoadLibraryExA %s: expected a module, got error %lu\n", path, GetLastError());
        return 1;
    }
    CheckLanguages(module);
    CheckMessages(module, kJapanese);
    CheckMessages(module, kEnglish);
    CheckIcons(module);
    CheckManifest(module, path);
    FreeLibrary(module);
    CheckVersion(path);

    if (failures != 0) printf("%d resource checks failed\n", failures);
    return failures == 0 ? 0 : 1;
}
