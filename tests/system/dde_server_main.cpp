// Stands in for a program that opens its documents through DDE, already
// running: the shell then hands it the document over DDE and starts no
// process, so it has no process handle to give back.
//
//   dde_server.exe LOG SERVICE
//
// Serves the topic "System" of SERVICE and appends to LOG "started" once,
// "ready" once the service is registered, and "execute=" with each command
// it is sent (in hex: UTF-8 of what came). Ends on its own after a minute,
// so that no test leaves it behind for long.
#include <windows.h>
#include <ddeml.h>

#include <string>

#include "helper_log.h"

namespace {

std::wstring logPath;
DWORD instance = 0;
HSZ topic = nullptr;

std::string Utf8Of(const wchar_t* text, int length) {
    char buffer[4096];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, buffer, sizeof(buffer), nullptr,
                                    nullptr);
    return std::string(buffer, bytes > 0 ? bytes : 0);
}

HDDEDATA CALLBACK OnDde(UINT type, UINT, HCONV, HSZ topicAsked, HSZ, HDDEDATA data, ULONG_PTR,
                        ULONG_PTR) {
    switch (type) {
    case XTYP_CONNECT:
        return reinterpret_cast<HDDEDATA>(DdeCmpStringHandles(topicAsked, topic) == 0);
    case XTYP_EXECUTE: {
        wchar_t command[2048] = {};
        DWORD bytes = DdeGetData(data, reinterpret_cast<BYTE*>(command), sizeof(command) - 2, 0);
        int length = static_cast<int>(bytes / sizeof(wchar_t));
        while (length > 0 && command[length - 1] == L'\0') --length;
        AppendToLog(logPath, "execute=" + ToHex(Utf8Of(command, length)) + "\n");
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    }
    default:
        return nullptr;
    }
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count != 3) return 2;
    logPath = arguments[1];
    AppendToLog(logPath, "started\n");

    if (DdeInitializeW(&instance, OnDde,
                       APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_POKES | CBF_FAIL_REQUESTS |
                           CBF_SKIP_ALLNOTIFICATIONS,
                       0) != DMLERR_NO_ERROR) {
        return 3;
    }
    HSZ service = DdeCreateStringHandleW(instance, arguments[2], CP_WINUNICODE);
    topic = DdeCreateStringHandleW(instance, L"System", CP_WINUNICODE);
    if (DdeNameService(instance, service, nullptr, DNS_REGISTER) == nullptr) return 4;
    AppendToLog(logPath, "ready\n");

    SetTimer(nullptr, 0, 60000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) break;
        DispatchMessageW(&message);
    }
    DdeNameService(instance, service, nullptr, DNS_UNREGISTER);
    DdeUninitialize(instance);
    return 0;
}
