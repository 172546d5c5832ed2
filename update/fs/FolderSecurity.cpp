#include "update/fs/FolderSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "common/Handle.h"
#include "update/fs/TokenUser.h"

namespace {
bool IsWellKnown(PSID pSid, WELL_KNOWN_SID_TYPE type) { return ::IsWellKnownSid(pSid, type) != FALSE; }

bool Same(PSID a, PSID b) { return a && b && ::EqualSid(a, b); }

// Rights that let a holder put something into a folder, take something out,
// replace the folder, or give itself those rights.
const ACCESS_MASK kChangeRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

// Whoever an entry names that is neither us nor trusted anyway. CREATOR
// OWNER and OWNER RIGHTS stand for the owner of what is created, or of
// the folder: nobody new.
bool IsOther(PSID pSid, PSID pUser) {
    return !Same(pSid, pUser) && !IsWellKnown(pSid, WinLocalSystemSid) &&
           !IsWellKnown(pSid, WinBuiltinAdministratorsSid) && !IsWellKnown(pSid, WinCreatorOwnerSid) &&
           !IsWellKnown(pSid, WinCreatorOwnerRightsSid);
}

// The protected access list, for pUser; null when it cannot be made.
CLocalMemory<PSECURITY_DESCRIPTOR> OwnSecurity(PSID pUser) {
    CLocalMemory<PSECURITY_DESCRIPTOR> sd;
    CLocalMemory<LPWSTR> user;
    if (!pUser || !::ConvertSidToStringSidW(pUser, user.Put())) return sd;
    const std::wstring sddl = std::wstring(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") + user.Get() + L")";
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, sd.Put(), nullptr))
        sd.Release();
    return sd;
}

// Deletes everything inside a folder. A junction or link inside is removed
// as itself, never followed: it could lead into another user's files.
bool EmptyFolder(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    bool bAll = true;
    {
        const CFindHandle find(::FindFirstFileW((dir + L"\\*").c_str(), &fd));
        if (!find) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = dir + L"\\" + name;
            const DWORD a = fd.dwFileAttributes;
            if (a & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
            if (a & FILE_ATTRIBUTE_DIRECTORY)
                bAll =
                    (((a & FILE_ATTRIBUTE_REPARSE_POINT) || EmptyFolder(path)) && ::RemoveDirectoryW(path.c_str())) &&
                    bAll;
            else
                bAll = ::DeleteFileW(path.c_str()) && bAll;
        } while (::FindNextFileW(find.Get(), &fd));
    }
    return bAll;
}
}  // namespace

bool IsOpenToOthers(PSECURITY_DESCRIPTOR pSd, PSID pUser) {
    BOOL bPresent = FALSE, bDefaulted = FALSE;
    PACL pDacl = nullptr;
    if (!::GetSecurityDescriptorDacl(pSd, &bPresent, &pDacl, &bDefaulted)) return true;
    if (!bPresent || !pDacl) return true;
    ACL_SIZE_INFORMATION info;
    if (!::GetAclInformation(pDacl, &info, sizeof(info), AclSizeInformation)) return true;
    for (DWORD i = 0; i < info.AceCount; ++i) {
        void* pAce = nullptr;
        if (!::GetAce(pDacl, i, &pAce)) return true;
        const ACE_HEADER* pHeader = static_cast<const ACE_HEADER*>(pAce);
        // Denials can only take rights away. Entries that only pass on to
        // what is created inside count too: what we write there would be
        // open to them.
        if (pHeader->AceType == ACCESS_DENIED_ACE_TYPE || pHeader->AceType == SYSTEM_AUDIT_ACE_TYPE ||
            pHeader->AceType == SYSTEM_ALARM_ACE_TYPE)
            continue;
        if (pHeader->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;  // a kind we do not read
        const ACCESS_ALLOWED_ACE* pAllowed = static_cast<const ACCESS_ALLOWED_ACE*>(pAce);
        if ((pAllowed->Mask & kChangeRights) && IsOther(const_cast<DWORD*>(&pAllowed->SidStart), pUser)) return true;
    }
    return false;
}

FolderCheck CheckFolder(const wchar_t* pszPath) {
    const DWORD nAttributes = ::GetFileAttributesW(pszPath);
    if (nAttributes == INVALID_FILE_ATTRIBUTES) return FolderCheck::Unusable;
    if (nAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return FolderCheck::Foreign;
    if (!(nAttributes & FILE_ATTRIBUTE_DIRECTORY)) return FolderCheck::Unusable;
    PSID pOwner = nullptr;
    CLocalMemory<PSECURITY_DESCRIPTOR> sd;  // pOwner points into it
    if (::GetNamedSecurityInfoW(pszPath, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &pOwner, nullptr, nullptr, nullptr, sd.Put()) != ERROR_SUCCESS)
        return FolderCheck::Foreign;
    const CTokenUser me;
    const bool bOwn =
        Same(pOwner, me.UserSid()) || Same(pOwner, me.OwnerSid()) ||
        (pOwner && (IsWellKnown(pOwner, WinBuiltinAdministratorsSid) || IsWellKnown(pOwner, WinLocalSystemSid)));
    if (!bOwn) return FolderCheck::Foreign;
    return IsOpenToOthers(sd.Get(), me.UserSid()) ? FolderCheck::Open : FolderCheck::Own;
}

void CreateOwnFolder(const wchar_t* pszPath) {
    const CTokenUser me;
    const CLocalMemory<PSECURITY_DESCRIPTOR> sd = OwnSecurity(me.UserSid());
    SECURITY_ATTRIBUTES sa = {sizeof(sa), sd.Get(), FALSE};
    // Without a descriptor the folder is still made; the check after it
    // then finds it Open and closes it.
    ::CreateDirectoryW(pszPath, sd ? &sa : nullptr);
}

FolderCheck MakeOwnFolder(const wchar_t* pszPath) {
    CreateOwnFolder(pszPath);
    const FolderCheck check = CheckFolder(pszPath);
    if (check != FolderCheck::Open) return check;
    const CTokenUser me;
    const CLocalMemory<PSECURITY_DESCRIPTOR> sd = OwnSecurity(me.UserSid());
    BOOL bPresent = FALSE, bDefaulted = FALSE;
    PACL pDacl = nullptr;
    if (!sd || !::GetSecurityDescriptorDacl(sd.Get(), &bPresent, &pDacl, &bDefaulted) ||
        ::SetNamedSecurityInfoW(const_cast<LPWSTR>(pszPath), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                pDacl, nullptr) != ERROR_SUCCESS)
        return FolderCheck::Foreign;
    // Closed first, then emptied: nothing new can arrive meanwhile.
    if (!EmptyFolder(pszPath)) return FolderCheck::Foreign;
    const FolderCheck after = CheckFolder(pszPath);
    return after == FolderCheck::Own ? after : FolderCheck::Foreign;
}
