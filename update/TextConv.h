// Narrow <-> wide text in the calling thread's ANSI code page (936 on the
// systems our texts are written for). Unrepresentable characters become the
// code page's default character.
#pragma once

#include <string>

std::wstring NarrowToWide(const char* psz);
std::string WideToNarrow(const wchar_t* psz);
