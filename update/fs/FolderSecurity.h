// The folders the updater writes into and starts programs from: who owns
// them, who else may change them, and making them ours alone.
#pragma once

#include <windows.h>

#include <string>

#include "common/Handle.h"
#include "update/fs/FolderRule.h"

// Judges the folder at a path through a handle of its own (HoldFolder), so
// that what is judged is one object, not a path that could change between
// two looks at it.
FolderCheck CheckFolder(const wchar_t* pszPath);

// Opens the folder itself (never what a link at the path points to) so that
// nobody can rename, move or delete it while the handle is held: it shares
// reading and writing, not deleting. Invalid when nothing is there, when it
// may not be opened so, or when someone already holds it for deleting.
CHandle HoldFolder(const wchar_t* pszPath);
// The same judgement for a held folder; bMissing when hFolder is invalid
// because nothing was there.
FolderCheck CheckHeldFolder(HANDLE hFolder, bool bMissing);

// The path the system names an open file or folder by (long names, no
// "\\?\" in front); empty when it cannot tell.
std::wstring FinalPath(HANDLE h);

// Whether a folder's security descriptor lets anyone but pUser, the
// system and the administrators write, create or delete in it, or change
// its access list; a missing access list lets everyone.
bool IsOpenToOthers(PSECURITY_DESCRIPTOR pSd, PSID pUser);

// Creates a folder (unless something is there) with a protected access
// list: the user, the system and the administrators, nothing inherited.
void CreateOwnFolder(const wchar_t* pszPath);

// The folder as CheckFolder finds it, created first if missing. An Open
// folder is not reused: it is moved aside under a fresh name beside it, with
// whatever was planted in it and whatever handles others hold to it, and a
// new protected one is made in its place. Own after that, else Foreign
// (the folder could not be moved, or something else took its place). With
// pHeld, an Own folder stays held (HoldFolder) from the moment it is judged.
FolderCheck MakeOwnFolder(const wchar_t* pszPath, CHandle* pHeld = nullptr);
