// Narrow <-> wide text in the calling thread's ANSI code page (936 on the
// systems our texts are written for), and wide text as UTF-8 (the same bytes
// whatever the code page). Unrepresentable characters become the code
// page's default character.
#pragma once

#include <string>

std::wstring NarrowToWide(const char* psz);
std::string WideToNarrow(const wchar_t* psz);
// Narrow text written in GBK (code page 936), the built-in Chinese texts,
// as the characters they are whatever the system's code page.
std::wstring GbkToWide(const char* psz);
std::string WideToUtf8(const wchar_t* p, size_t n);
inline std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.data(), text.size()); }
