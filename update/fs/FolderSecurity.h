// The folders the updater writes into and starts programs from: who owns
// them, who else may change them, and making them ours alone.
#pragma once

#include <windows.h>

// Own is a real folder (no junction or symbolic link) owned by the current
// user (or by the administrators or the system, who could write anywhere
// anyway) that nobody else may write, create or delete in; Open is such a
// folder whose access list lets others do so (made under a shared
// temporary folder, it inherited that folder's rights); Foreign is a link
// or someone else's folder; Unusable is no folder at all.
enum class FolderCheck { Own, Open, Foreign, Unusable };
FolderCheck CheckFolder(const wchar_t* pszPath);

// Whether a folder's security descriptor lets anyone but pUser, the
// system and the administrators write, create or delete in it, or change
// its access list; a missing access list lets everyone.
bool IsOpenToOthers(PSECURITY_DESCRIPTOR pSd, PSID pUser);

// Creates a folder (unless something is there) with a protected access
// list: the user, the system and the administrators, nothing inherited.
void CreateOwnFolder(const wchar_t* pszPath);

// The folder as CheckFolder finds it, created first if missing; an Open
// folder gets the protected access list and loses everything in it, so
// that nothing another user planted there survives. Own after that, else
// Foreign (what was planted could not all be removed).
FolderCheck MakeOwnFolder(const wchar_t* pszPath);
