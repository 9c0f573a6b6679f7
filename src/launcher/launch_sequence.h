// The launch and the byte logic it alone uses: exit codes and buffer sizes,
// quote stripping, taking text from the registry, skipping the program's own
// name in the command line (ANSI and Unicode), converting without loss, the
// choice of the module directory, and ContainsText. Windows side: reading the
// module directory and the registry; the entry point is in the .cpp.
#ifndef TAVREL_LAUNCH_SEQUENCE_H
#define TAVREL_LAUNCH_SEQUENCE_H

#include "path_split.h"

// The registration Tavrel trusts is the machine's: the .inf class and its
// Install command under HKEY_LOCAL_MACHINE\Software\Classes, which only
// administrators can change. Never HKEY_CLASSES_ROOT, where a class the user
// registered for himself (HKEY_CURRENT_USER\Software\Classes) wins, also
// for an elevated program. Under WOW64 these keys are shared by both
// registry views, so a 32-bit Tavrel reads what 64-bit programs read.
const char kMachineInfKey[] = "Software\\Classes\\.inf";
const char kMachineClassesKey[] = "Software\\Classes\\";  // then the class
const char kInstallCommandSuffix[] = "\\shell\\Install\\command";

// Tavrel's exit codes.
enum ExitCode {
    kExitLaunched = 0,       // the install command was started, or could not be
    kExitNoArgument = -1,    // the argument text is empty
    kExitSetupBroken = -2,   // refused argument or folder, or no registration
};

enum {
    kMaxArgumentLength = 130,
    kArgumentCapacity = 260,
    kKeyPathCapacity = 255,  // the class and the suffix, after kMachineClassesKey
    kModuleDirectoryCapacity = 260,
    kExpandedArgumentCapacity = 270,
    kUnquotedArgumentCapacity = 520,
    kCommandTemplateCapacity = 520,
    kCommandLineCapacity = 1024,
    kRegistryValueCapacity = 1024,
};

// Removes the enclosing double quotes of src: a first byte that is a quote,
// and a quote that ends the text (together with the spaces and tabs after
// it). No other byte is removed. Returns 0, or -4 (dst left alone) when the
// result does not fit.
int StripQuotes(char* dst, int capacity, const char* src);

// Takes the text of a string value as the registry returned it: the `size`
// bytes read, up to the first NUL among them. Returns 0, or -1 (dst left
// alone) when that text does not fit, so a value is never cut.
int TakeRegistryText(char* dst, int capacity, const char* data, int size);

// The argument text of a process command line: what follows the program's
// own name and the bytes 0x01 to 0x20 after it. A quoted name ends at its
// closing quote (a lead byte and its trail byte are passed over together);
// a name whose quote is never closed takes the whole line; an unquoted name
// ends at the first byte of 0x20 or below.
const char* SkipProgramName(const char* commandLine, const LeadBytes* lead);

// The same for the system's Unicode command line (UTF-16 has no
// double-byte characters to pass over).
const wchar_t* SkipProgramNameWide(const wchar_t* commandLine);

// How a Unicode text is converted to code page `codePage` so that a lost
// character shows: the flags for WideCharToMultiByte, and whether its
// used-default flag tells of a loss. Best fit (e with acute accent becoming
// e, a fullwidth quote becoming '"') counts as a loss. UTF-8 takes neither
// the flag nor the option; there an invalid character fails the call.
struct LosslessConversion {
    unsigned long flags;
    bool askUsedDefault;
};
enum {
    kNoBestFitChars = 0x400,    // WC_NO_BEST_FIT_CHARS
    kErrorInvalidChars = 0x80,  // WC_ERR_INVALID_CHARS
};
LosslessConversion LosslessConversionFor(unsigned codePage);

// The folder %EXEPATH% stands for: the drive and directory of `longPath`,
// the program's path in the ANSI code page, else of `shortPath`, its short
// form; each is null when its conversion lost a character. Returns 0, or -1
// (dst emptied) when neither gives a whole directory that fits: a path
// mangled by the code page must never reach the installer.
int ChooseModuleDirectory(const char* longPath, const char* shortPath, const LeadBytes* lead,
                          char* dst, int capacity);

// Whether `text` holds `token`, byte for byte.
bool ContainsText(const char* text, const char* token);

// Windows side only (launch_sequence_win32.cpp): everything above builds
// without windows.h.
#ifdef _WIN32
#include <windows.h>

// Drive and directory of the running program, ending in its separator.
// Returns 0, or -1 (dst emptied) when the program's path cannot be obtained
// or cannot be written in the ANSI code page, even in its short form.
int GetModuleDirectory(char* dst, int capacity);

// Reads the string value `valueName` of root\subKey. Returns 0 when read (a
// value that is no string leaves dst unchanged), -1 when the key opened but
// the value cannot be read or does not fit, -2 when the key cannot be opened.
int ReadRegistryString(char* dst, int capacity, HKEY root, const char* subKey,
                       const char* valueName);
#endif  // _WIN32

#endif
