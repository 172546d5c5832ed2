// The verified installer handed to the shell: held open so that nobody can
// change it, checked once more, and started from the path that was checked.
#pragma once

#include <string>

#include "common/Handle.h"
#include "update/manifest/Integrity.h"

class CUpdateView;

// Opens a saved installer so that nobody can write, replace or delete it
// while the handle is held, and checks it against the size and digest it
// must have. An invalid handle when it cannot be opened or does not match.
CHandle OpenVerifiedInstaller(const wchar_t* pszPath, const IntegrityExpectation& want);

// Hands an installer to the shell ("open", shown normally) and logs the
// shell's answer.
void HandToShell(const std::wstring& path);

// The last steps of a download: the installer at path verified again, the
// bar shown full for a moment, the window hidden, the installer started and
// the window closed, started from the final path of the handle that was
// verified. Changed: the file is not what was verified (it is deleted), or
// it is not in the held work folder under its name; NotStarted: the window
// was closed during the pause.
enum class LaunchResult { Started, NotStarted, Changed };
LaunchResult LaunchVerifiedInstaller(CUpdateView* pView, const std::wstring& path, const IntegrityExpectation& want);
