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

// A name beside path that nobody has used: what was open to others goes
// there, out of our way.
std::wstring AsideName(const std::wstring& path) {
    static unsigned s_nSerial = 0;
    std::wstring dir = path;
    while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    return dir + L".old-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64()) +
           L"-" + std::to_wstring(++s_nSerial);
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

CHandle HoldFolder(const wchar_t* pszPath) {
    return CHandle(::CreateFileW(pszPath, FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

FolderCheck CheckHeldFolder(HANDLE hFolder, bool bMissing) {
    FolderFacts facts;
    BY_HANDLE_FILE_INFORMATION info;
    if (hFolder == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(hFolder, &info)) {
        facts.bMissing = bMissing;
        return JudgeFolder(facts);
    }
    facts.bAttributesRead = true;
    facts.bLink = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.bDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    PSID pOwner = nullptr;
    CLocalMemory<PSECURITY_DESCRIPTOR> sd;  // pOwner points into it
    facts.bSecurityRead =
        ::GetSecurityInfo(hFolder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &pOwner,
                          nullptr, nullptr, nullptr, sd.Put()) == ERROR_SUCCESS;
    if (facts.bSecurityRead) {
        const CTokenUser me;
        facts.bOwnerTrusted =
            Same(pOwner, me.UserSid()) || Same(pOwner, me.OwnerSid()) ||
            (pOwner && (IsWellKnown(pOwner, WinBuiltinAdministratorsSid) || IsWellKnown(pOwner, WinLocalSystemSid)));
        facts.bOpenToOthers = IsOpenToOthers(sd.Get(), me.UserSid());
    }
    return JudgeFolder(facts);
}

namespace {
// Held and judged in one step; bMissing only when the system said so. The
// path's own attributes count too: Wine opens what a symbolic link points
// to even when told not to, and shows the link only there.
FolderCheck HoldAndCheck(const wchar_t* pszPath, CHandle& held) {
    held = HoldFolder(pszPath);
    const DWORD nError = held.IsValid() ? ERROR_SUCCESS : ::GetLastError();
    const FolderCheck check =
        CheckHeldFolder(held.Get(), nError == ERROR_FILE_NOT_FOUND || nError == ERROR_PATH_NOT_FOUND);
    const DWORD nAttributes = ::GetFileAttributesW(pszPath);
    if (nAttributes == INVALID_FILE_ATTRIBUTES || !(nAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return check;
    held.Close();  // a link, dangling or not
    return FolderCheck::Foreign;
}
}  // namespace

FolderCheck CheckFolder(const wchar_t* pszPath) {
    CHandle held;
    return HoldAndCheck(pszPath, held);
}

std::wstring FinalPath(HANDLE h) {
    std::wstring path(MAX_PATH, L'\0');
    for (int nTry = 0; nTry < 2; ++nTry) {
        const DWORD n = ::GetFinalPathNameByHandleW(h, &path[0], static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + path.substr(7);
            if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
            return path;
        }
        path.resize(n);  // n is the size needed, terminator included
    }
    return std::wstring();
}

void CreateOwnFolder(const wchar_t* pszPath) {
    const CTokenUser me;
    const CLocalMemory<PSECURITY_DESCRIPTOR> sd = OwnSecurity(me.UserSid());
    SECURITY_ATTRIBUTES sa = {sizeof(sa), sd.Get(), FALSE};
    // Without a descriptor the folder is still made; the check after it
    // then finds it Open and refuses it.
    ::CreateDirectoryW(pszPath, sd ? &sa : nullptr);
}

FolderCheck MakeOwnFolder(const wchar_t* pszPath, CHandle* pHeld) {
    CreateOwnFolder(pszPath);
    CHandle held;
    FolderCheck check = HoldAndCheck(pszPath, held);
    if (check == FolderCheck::Open) {
        // Closing its access list would leave every handle opened before
        // with its rights, and emptying it would go by paths that a planted
        // link could turn elsewhere: the folder leaves, whole, and a new one
        // comes.
        held.Close();
        if (!::MoveFileExW(pszPath, AsideName(pszPath).c_str(), 0)) return FolderCheck::Foreign;
        CreateOwnFolder(pszPath);
        check = HoldAndCheck(pszPath, held) == FolderCheck::Own ? FolderCheck::Own : FolderCheck::Foreign;
    }
    if (pHeld && check == FolderCheck::Own) *pHeld = std::move(held);
    return check;
}
