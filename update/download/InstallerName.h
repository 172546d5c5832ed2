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

// Whether a name from a URL may become the installer's file name: 1 to 100
// ASCII letters, digits, '.', '-' and '_', no '.' at either end, no device
// name (CON, NUL, COM1, LPT1 ... with or without an extension), and ending
// in ".exe" or ".msi" (any case). Anything else could name a device, a
// stream, another folder, or a file the shell would hand to a script host.
bool IsAcceptableInstallerName(const std::wstring& name);
