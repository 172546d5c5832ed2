// Reading the update manifest: an XML document whose elements version, url,
// force (and optionally size, sha256) are looked up by tag name.
#pragma once

#include <cstddef>

class TiXmlElement;

// Sizes of the value buffers.
enum : size_t { kVersionSize = 260, kUrlSize = 1024, kForceSize = 260, kSizeTextSize = 260, kShaTextSize = 260 };
// Limits that keep a hostile manifest from exhausting the parser.
enum : size_t { kMaxManifestBytes = 1024 * 1024, kMaxManifestDepth = 64 };

// Walks from pStart down through first child elements and sideways through
// next siblings (never back up) to the first element named pszName. When
// found, copies the value of its first child node (of any kind) into pszOut
// and returns true; an element without children leaves pszOut empty. A value
// that does not fit (with its terminator) leaves pszOut empty and sets
// *pbTooLong. pszOut must be zero-filled by the caller.
bool FindElementText(const TiXmlElement* pStart, const char* pszName, char* pszOut, size_t nOutSize,
                     bool* pbTooLong = nullptr);

struct ManifestValues {
    char szVersion[kVersionSize];
    char szUrl[kUrlSize];
    char szForce[kForceSize];
    char szSize[kSizeTextSize];
    char szSha256[kShaTextSize];
};

// Parses the manifest bytes. False when the manifest is unreadable: empty,
// not well-formed, without root element, larger than kMaxManifestBytes,
// nested deeper than kMaxManifestDepth, or with a value too long for its
// buffer. Values are zero-filled first; missing elements stay empty.
bool ReadManifest(const char* pData, size_t nSize, ManifestValues& values);
// The same for a file (read at most kMaxManifestBytes + 1 bytes).
bool ReadManifestFile(const char* pszPath, ManifestValues& values);

// Deepest element nesting of an XML text, by a cheap scan that ignores
// comments, processing instructions, CDATA and quoted attribute values.
size_t XmlNestingDepth(const char* pData, size_t nSize);

// The force value as atoi reads it (blanks, a sign, digits), saturating
// instead of overflowing.
int ParseForce(const char* pszForce);
