// What a folder we would write into is to us, from what could be read of
// it. Kept free of the platform so that every case, including those Wine
// cannot make (another owner, unreadable attributes), is tested natively.
#pragma once

// Own is a real folder (no junction or symbolic link) owned by the current
// user (or by the administrators or the system, who could write anywhere
// anyway) that nobody else may write, create or delete in; Open is such a
// folder whose access list lets others do so (made under a shared
// temporary folder, it inherited that folder's rights); Foreign is a link,
// someone else's folder, or one whose attributes or security we may not
// read (another user may have made it so); Unusable is nothing there, or no
// folder.
enum class FolderCheck { Own, Open, Foreign, Unusable };

struct FolderFacts {
    bool bMissing = false;         // nothing at the path
    bool bAttributesRead = false;  // otherwise: refused, so there is something
    bool bLink = false;
    bool bDirectory = false;
    bool bSecurityRead = false;
    bool bOwnerTrusted = false;  // we, the administrators or the system
    bool bOpenToOthers = false;
};

inline FolderCheck JudgeFolder(const FolderFacts& f) {
    if (f.bMissing) return FolderCheck::Unusable;
    if (!f.bAttributesRead || f.bLink) return FolderCheck::Foreign;
    if (!f.bDirectory) return FolderCheck::Unusable;
    if (!f.bSecurityRead || !f.bOwnerTrusted) return FolderCheck::Foreign;
    return f.bOpenToOthers ? FolderCheck::Open : FolderCheck::Own;
}
