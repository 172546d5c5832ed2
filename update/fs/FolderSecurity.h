// The folders the updater writes into and starts programs from: who owns
// them, who else may change them, and making them ours alone.
#pragma once

#include <windows.h>

#include "update/fs/FolderRule.h"

FolderCheck CheckFolder(const wchar_t* pszPath);

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
// (the folder could not be moved, or something else took its place).
FolderCheck MakeOwnFolder(const wchar_t* pszPath);
