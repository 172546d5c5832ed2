// The installer's file name and path from its download URL.
#pragma once

#include <cstddef>
#include <string>

// The last path segment: the text after the rightmost "/" or "\" (the whole
// text when there is neither). The query and fragment are not part of the
// path, so the URL is cut at its first "?" or "#" before the segment is
// taken: "http://h/setup.exe?v=2" names setup.exe. Empty when the path ends
// with a separator.
std::wstring UrlFileName(const std::wstring& url);

// Forms "<work folder>/<name>" into a buffer of nSize bytes. False (buffer
// emptied) when the name is empty or the path would not fit.
bool FormInstallerPath(char* pszOut, size_t nSize, const char* pszWorkDir, const char* pszName);
