// Narrow <-> wide text in the calling thread's ANSI code page (936 on the
// systems our texts are written for). Unrepresentable characters become the
// code page's default character.
#pragma once

#include <string>

std::wstring NarrowToWide(const char* psz);
std::string WideToNarrow(const wchar_t* psz);

// Whether a target names a download: "http:" anywhere, case-sensitive, or
// "https:" at its start; tested on the wide form of the text as the command
// line and the check do.
bool IsUrlTarget(const char* psz);
