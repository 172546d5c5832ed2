/* Test helper: asks WinVerifyTrust, with the Authenticode policy, whether
   a file's signature is good.
   Usage: verify-trust.exe FILE... (one Wine start for many files). Prints
   one line per file: the HRESULT in hex and its name when it is one of the
   usual answers; exits 0 only when every file is trusted (0).
   No user interface and no revocation check: the tests run offline. */
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>
#include <stdio.h>

static const char* Name(LONG r) {
    switch ((DWORD)r) {
    case 0: return "trusted";
    case 0x800B0100: return "TRUST_E_NOSIGNATURE";
    case 0x80096010: return "TRUST_E_BAD_DIGEST";
    case 0x80096004: return "TRUST_E_CERT_SIGNATURE";
    case 0x800B0109: return "CERT_E_UNTRUSTEDROOT";
    case 0x800B010A: return "CERT_E_CHAINING";
    case 0x800B0101: return "CERT_E_EXPIRED";
    case 0x800B0004: return "TRUST_E_SUBJECT_NOT_TRUSTED";
    case 0x80096001: return "TRUST_E_SYSTEM_ERROR";
    case 0x80096019: return "TRUST_E_BASIC_CONSTRAINTS";
    case 0x800B0110: return "CERT_E_WRONG_USAGE";
    case 0x80092026: return "CRYPT_E_SECURITY_SETTINGS";
    case 0x800B0003: return "TRUST_E_SUBJECT_FORM_UNKNOWN";
    default: return "other";
    }
}

static LONG Verify(const wchar_t* path) {
    WINTRUST_FILE_INFO file;
    ZeroMemory(&file, sizeof file);
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path;
    WINTRUST_DATA data;
    ZeroMemory(&data, sizeof data);
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG r = WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    return r;
}

int wmain(int argc, wchar_t** argv) {
    int all = 1;
    if (argc < 2) return 2;
    for (int i = 1; i < argc; ++i) {
        LONG r = Verify(argv[i]);
        printf("0x%08lX %s\n", (unsigned long)r, Name(r));
        all = all && r == 0;
    }
    return all ? 0 : 1;
}
