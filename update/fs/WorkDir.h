// The per-user work folder (under the temporary path) that holds the fetched
// manifest and the downloaded installer, and the executable's own folder.
#pragma once

#include <string>

enum : size_t { kWorkDirSize = 520, kModulePathSize = 10240 };

extern char g_szWorkDir[kWorkDirSize];

// "<temp>\LumoraTV\temp" without trailing separator, created on first use
// and cached. Empty when the temporary path is too long to form it, or when
// a folder on the way is a link or someone else's (nothing is then created
// through it, and WorkDirIsForeign tells so).
const char* GetWorkDir();
// The same folder as the system names it (wide text, from the wide
// temporary path): every file operation goes through this form, so no
// code-page conversion can make one step reach another file than the next.
// Empty whenever GetWorkDir is.
const std::wstring& GetWorkDirW();
bool WorkDirIsForeign();
// The work folder as held since it was judged ours (invalid before, or when
// it could not be made): what the installer's final path is checked against.
void* GetWorkDirHandle();
// For a run that makes no folder (a second copy): the log, if the product
// folder is already there and ours alone.
void OpenLogIfFolderIsOwn();
// The executable's folder with its trailing separator; empty if its path
// is 10240 characters or longer (read as wide text, whatever the code page).
std::wstring GetModuleDir();
