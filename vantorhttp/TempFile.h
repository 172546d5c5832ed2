// The temporary file a body arrives in until its owner renames it into
// place: made under a name no other transfer uses, removed when the
// transfer fails or its object goes, and swept when a crash left it behind
// (CVantorHttp::DeleteLeftoverParts). The ~vantor-*.part name lives here
// alone.
#pragma once

#include <windows.h>

#include "SharedState.h"

// Creates the temporary file and registers it (s.file, s.tempPath) so that
// the owner can remove it; false means kErrFile, or a stop, which the caller
// tells apart by s.stop.
bool CreateTemp(Shared& s, HANDLE* out);

// Deletes the temporary file unless it is the owner's kept download; under
// s.mtx.
void DeleteTempLocked(Shared& s);
