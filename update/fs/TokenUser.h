// The current process's user and default owner, read from its token once.
#pragma once

#include <windows.h>

#include <vector>

#include "common/Handle.h"

struct CTokenUser {
    std::vector<BYTE> user, owner;
    CTokenUser() {
        CHandle token;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put())) return;
        Query(token.Get(), TokenUser, user);
        Query(token.Get(), TokenOwner, owner);
    }
    static void Query(HANDLE hToken, TOKEN_INFORMATION_CLASS cls, std::vector<BYTE>& out) {
        DWORD n = 0;
        ::GetTokenInformation(hToken, cls, nullptr, 0, &n);
        out.resize(n);
        if (!n || !::GetTokenInformation(hToken, cls, out.data(), n, &n)) out.clear();
    }
    PSID UserSid() const { return user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid; }
    PSID OwnerSid() const {
        return owner.empty() ? nullptr : reinterpret_cast<const TOKEN_OWNER*>(owner.data())->Owner;
    }
};
