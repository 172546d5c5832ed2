// The response headers a transfer acts on, as WinHTTP hands them over:
// read into bounded text, and passed to the rules (TransferRules.h) only
// as printable ASCII.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

// Content-Length, read as text (the numeric query flag is only 32 bits
// wide). -1 when absent, -2 when present but not a plain decimal number.
int64_t QueryContentLength(HINTERNET req);

// A response header; empty when absent or longer than any we need.
std::wstring QueryHeader(HINTERNET req, DWORD info);

// A header as the rules read it: printable ASCII only, else empty.
std::string Ascii(const std::wstring& text);

// What If-Range may name: a strong ETag, else Last-Modified, else nothing.
std::wstring Validator(HINTERNET req);
