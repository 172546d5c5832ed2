/* Test helper: adds a CA certificate (DER file) to the Root store of the
   local machine, which in a Wine prefix is the prefix's own registry: the
   host and every other prefix stay untouched. Usage: trust-ca.exe <der>.
   Prints "trusted", or the failing step and its error. */
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
    static BYTE der[16384];
    DWORD size = 0;
    if (argc != 2) return 2;
    HANDLE f = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE || !ReadFile(f, der, sizeof der, &size, NULL) || size == sizeof der) {
        printf("read: error %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(f);
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!root) {
        printf("open Root: error %lu\n", GetLastError());
        return 1;
    }
    BOOL ok =
        CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der, size, CERT_STORE_ADD_REPLACE_EXISTING, NULL);
    DWORD error = GetLastError();
    CertCloseStore(root, 0);
    if (!ok) {
        printf("add: error %lu\n", error);
        return 1;
    }
    printf("trusted\n");
    return 0;
}
