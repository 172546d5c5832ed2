// Reading the update manifest: an XML document whose elements version, url,
// force (and optionally size, sha256, expires, signature, rollout and up to
// four mirror elements) are looked up by tag name.
#pragma once

#include <cstddef>
#include <cstdio>

class TiXmlElement;

// Sizes of the value buffers.
enum : size_t { kVersionSize = 260, kUrlSize = 1024, kForceSize = 260, kSizeTextSize = 260, kShaTextSize = 260 };
// Limits that keep a hostile manifest from exhausting the parser. The depth
// is enforced by the parser itself (see tools/tinyxml-depth-limit.patch).
// A real manifest is under 2 KiB; the parser's cost grows with the square of
// the attributes an element has, so a hostile one is cut off early.
enum : size_t { kMaxManifestBytes = 64 * 1024, kMaxManifestDepth = 64 };
// Download URLs tried in order after url has failed.
enum : size_t { kMaxMirrors = 4 };

// Walks from pStart down through first child elements and sideways through
// next siblings (never back up) to the first element named pszName. When
// found, copies the value of its first child node (of any kind) into pszOut
// and returns true; an element without children leaves pszOut empty. A value
// that does not fit (with its terminator) leaves pszOut empty and sets
// *pbTooLong. *pbHasNul tells that the value holds a NUL character (a "&#0;"
// reference), which the copy cannot show. pszOut must be zero-filled by the
// caller.
bool FindElementText(const TiXmlElement* pStart, const char* pszName, char* pszOut, size_t nOutSize,
                     bool* pbTooLong = nullptr, bool* pbHasNul = nullptr);

struct ManifestValues {
    char szVersion[kVersionSize];
    char szUrl[kUrlSize];
    char szForce[kForceSize];
    char szSize[kSizeTextSize];
    char szSha256[kShaTextSize];
    char szExpires[kShaTextSize];
    char szSignature[kShaTextSize];
    char szRollout[kForceSize];
    bool bHasRollout;
    // The first kMaxMirrors mirror elements in document order (one too long
    // for its buffer left empty); nMirrors counts every one found.
    char szMirrors[kMaxMirrors][kUrlSize];
    size_t nMirrors;
    // A signed value held a NUL: what the copy shows is not all there was.
    bool bSignedValueHasNul;
};

// Whether the manifest carries the publisher's controls (rollout, mirrors),
// which make its signed text the second format.
bool HasPublisherControls(const ManifestValues& values);
// False when it carries more than kMaxMirrors mirrors, an empty one, or a
// rollout that is not a whole number from 1 to 100.
bool PublisherControlsValid(const ManifestValues& values);

// Parses the manifest bytes. False when the manifest is unreadable: empty,
// without root element, larger than kMaxManifestBytes, nested deeper than
// kMaxManifestDepth, with a declaration that is not plain, not valid UTF-8
// although read as UTF-8, or with a value
// of version, url, force, size or sha256 too long for its buffer (a too long
// expires, signature, rollout or mirror is left empty instead). Values are
// zero-filled first; missing elements stay empty. The publisher's controls
// are read but not judged (PublisherControlsValid).
bool ReadManifest(const char* pData, size_t nSize, ManifestValues& values);
// The same for an open file, read from where it stands (at most
// kMaxManifestBytes + 1 bytes). The caller opens it, by the path it saved.
bool ReadManifestFile(FILE* fp, ManifestValues& values);

// Whether the parser will read the text as UTF-8: a byte order mark, or an
// XML declaration whose encoding is UTF-8 or not given.
bool ReadsAsUtf8(const char* pData, size_t nSize);
// False when an XML declaration holds a reference ("&#85;") or repeats an
// attribute: the parser would then read another encoding than ReadsAsUtf8.
bool DeclarationsArePlain(const char* pData, size_t nSize);

// The force value as atoi reads it (blanks, a sign, digits), saturating
// instead of overflowing.
int ParseForce(const char* pszForce);
