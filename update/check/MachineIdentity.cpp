#include "update/check/MachineIdentity.h"

#include <windows.h>
#include <sddl.h>

#include "common/Handle.h"
#include "common/TextConv.h"
#include "update/fs/TokenUser.h"

namespace {
struct RegKeyTraits : NullEmptyTraits<HKEY> {
    static void Close(HKEY h) noexcept { ::RegCloseKey(h); }
};
}  // namespace

std::string ReadMachineGuid() {
    CUniqueHandle<RegKeyTraits> key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                        key.Put()) != ERROR_SUCCESS)
        return std::string();
    wchar_t szValue[256] = {};
    DWORD nType = 0, nBytes = sizeof(szValue) - sizeof(wchar_t);  // room for a terminator the data may lack
    if (::RegQueryValueExW(key.Get(), L"MachineGuid", nullptr, &nType, reinterpret_cast<BYTE*>(szValue), &nBytes) !=
            ERROR_SUCCESS ||
        nType != REG_SZ)
        return std::string();
    int n = static_cast<int>(nBytes / sizeof(wchar_t));
    while (n > 0 && szValue[n - 1] == L'\0') --n;
    // Both texts are ASCII in practice; UTF-8 keeps any other byte-exact.
    return WideToUtf8(szValue, static_cast<size_t>(n));
}

std::string ReadUserSid() {
    const CTokenUser me;
    CLocalMemory<LPWSTR> text;
    if (!me.UserSid() || !::ConvertSidToStringSidW(me.UserSid(), text.Put())) return std::string();
    return WideToUtf8(text.Get(), ::wcslen(text.Get()));
}
