// What a command-line target names: a download when it holds "http:"
// anywhere (case-sensitive) or begins with "https:", else a local path. The
// rule reads wide text, as the platform does, so that no byte of a
// multi-byte character can pass for part of "http:".
#pragma once

#include <string_view>

#include "common/TextConv.h"

bool IsUrlText(std::wstring_view text);
// A narrow target, read in the thread's code page (Windows only).
inline bool IsUrlTarget(const char* psz) { return IsUrlText(NarrowToWide(psz)); }
