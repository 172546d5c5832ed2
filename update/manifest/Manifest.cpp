#include "update/manifest/Manifest.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/Utf8.h"
#include "tinyxml.h"
#include "update/check/Rollout.h"

// The parser's limit and ours are one number.
static_assert(TIXML_MAX_ELEMENT_DEPTH == kMaxManifestDepth, "TinyXML is built with another nesting limit");

namespace {
// The walk goes down through first child elements and sideways through next
// siblings, never back up.
const TiXmlElement* NextOnWalk(const TiXmlElement* pNode) {
    const TiXmlElement* pNext = pNode->FirstChildElement();
    return pNext ? pNext : pNode->NextSiblingElement();
}

const TiXmlElement* FindOnWalk(const TiXmlElement* pNode, const char* pszName) {
    while (pNode && std::strcmp(pNode->Value(), pszName) != 0) pNode = NextOnWalk(pNode);
    return pNode;
}

void CopyFirstChildValue(const TiXmlElement* pNode, char* pszOut, size_t nOutSize, bool* pbTooLong, bool* pbHasNul) {
    if (pbTooLong) *pbTooLong = false;
    if (pbHasNul) *pbHasNul = false;
    const TiXmlNode* pChild = pNode->FirstChild();
    if (!pChild) return;
    const std::string& value = pChild->ValueStr();
    if (pbHasNul) *pbHasNul = value.find('\0') != std::string::npos;
    if (value.size() >= nOutSize) {
        if (pbTooLong) *pbTooLong = true;
        if (nOutSize) pszOut[0] = '\0';
    } else {
        std::memcpy(pszOut, value.data(), value.size());
    }
}
}  // namespace

bool FindElementText(const TiXmlElement* pStart, const char* pszName, char* pszOut, size_t nOutSize, bool* pbTooLong,
                     bool* pbHasNul) {
    if (pbTooLong) *pbTooLong = false;
    if (pbHasNul) *pbHasNul = false;
    const TiXmlElement* pNode = FindOnWalk(pStart, pszName);
    if (!pNode) return false;
    CopyFirstChildValue(pNode, pszOut, nOutSize, pbTooLong, pbHasNul);
    return true;
}

bool HasPublisherControls(const ManifestValues& v) { return v.bHasRollout || v.nMirrors > 0; }

bool PublisherControlsValid(const ManifestValues& v) {
    if (v.bHasRollout && !ParseRollout(v.szRollout)) return false;
    if (v.nMirrors > kMaxMirrors) return false;
    for (size_t i = 0; i < v.nMirrors; ++i)
        if (!v.szMirrors[i][0]) return false;
    return true;
}

namespace {
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(const char* p, const char* pEnd, const char* pszPrefix) {
    for (; *pszPrefix; ++p, ++pszPrefix)
        if (p == pEnd || Lower(*p) != *pszPrefix) return false;
    return true;
}

// The encoding named by the declaration at p ("<?xml ..."), as the parser
// reads it: empty when not given.
std::string DeclaredEncoding(const char* p, const char* pEnd) {
    for (; p < pEnd && *p != '>'; ++p) {
        if (!StartsWithNoCase(p, pEnd, "encoding")) continue;
        p += 8;
        while (p < pEnd && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
        if (p == pEnd || *p != '=') return std::string();
        ++p;
        while (p < pEnd && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
        if (p == pEnd || (*p != '"' && *p != '\'')) return std::string();
        const char* pValue = p + 1;
        const char* pClose = static_cast<const char*>(std::memchr(pValue, *p, static_cast<size_t>(pEnd - pValue)));
        return std::string(pValue, pClose ? pClose : pEnd);
    }
    return std::string();
}
}  // namespace

bool ReadsAsUtf8(const char* p, size_t n) {
    if (n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) return true;
    // Any declaration that the parser could take as the document's counts:
    // stricter than the parser at worst, never laxer.
    const char* pEnd = p + n;
    for (const char* q = p; q < pEnd; ++q) {
        if (*q != '<' || !StartsWithNoCase(q + 1, pEnd, "?xml")) continue;
        std::string enc = DeclaredEncoding(q + 5, pEnd);
        const char* e = enc.c_str();
        const char* eEnd = e + enc.size();
        // The parser compares by prefix: "UTF-8", "utf8", "UTF-8x" all mean UTF-8.
        if (enc.empty() || StartsWithNoCase(e, eEnd, "utf-8") || StartsWithNoCase(e, eEnd, "utf8")) return true;
    }
    return false;
}

bool DeclarationsArePlain(const char* p, size_t n) {
    const char* pEnd = p + n;
    for (const char* q = p; q < pEnd; ++q) {
        if (*q != '<' || !StartsWithNoCase(q + 1, pEnd, "?xml")) continue;
        int nVersion = 0, nEncoding = 0, nStandalone = 0;
        char quote = 0;
        for (const char* r = q + 5; r < pEnd && (quote || *r != '>'); ++r) {
            // The parser decodes references in the declaration's values, so
            // what it reads would not be the text we judged.
            if (*r == '&') return false;
            if (quote) {
                if (*r == quote) quote = 0;
            } else if (*r == '"' || *r == '\'') {
                quote = *r;
            } else {
                nVersion += StartsWithNoCase(r, pEnd, "version");
                nEncoding += StartsWithNoCase(r, pEnd, "encoding");
                nStandalone += StartsWithNoCase(r, pEnd, "standalone");
            }
        }
        // The parser takes the last of repeated attributes, we the first.
        if (nVersion > 1 || nEncoding > 1 || nStandalone > 1) return false;
    }
    return true;
}

int ParseForce(const char* s) {
    if (!s) return 0;
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
    bool bNegative = false;
    if (*s == '+' || *s == '-') bNegative = (*s++ == '-');
    long long nValue = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        nValue = nValue * 10 + (*s - '0');
        if (nValue > (long long)INT_MAX + 1) nValue = (long long)INT_MAX + 1;  // saturate
    }
    if (bNegative) return nValue > (long long)INT_MAX ? INT_MIN : -(int)nValue;
    return nValue > INT_MAX ? INT_MAX : (int)nValue;
}

bool ReadManifest(const char* pData, size_t nSize, ManifestValues& values) {
    std::memset(&values, 0, sizeof(values));
    if (!pData || nSize == 0 || nSize > kMaxManifestBytes || !DeclarationsArePlain(pData, nSize)) return false;
    // Read as UTF-8, the parser steps over a whole sequence on its lead byte
    // whatever follows, and would swallow markup behind a broken one.
    if (ReadsAsUtf8(pData, nSize) && !IsValidUtf8(pData, nSize)) return false;

    // Line ends normalised to LF as TinyXML's file loader does, so values
    // read the same whichever way the manifest is handed over.
    std::string text;
    text.reserve(nSize);
    for (size_t i = 0; i < nSize; ++i) {
        if (pData[i] == '\r') {
            text += '\n';
            if (i + 1 < nSize && pData[i + 1] == '\n') ++i;
        } else {
            text += pData[i];
        }
    }
    // TinyXML steps over a whole UTF-8 sequence on its lead byte, even past
    // the terminator of a text cut short; zeros after the end keep such a
    // step inside our buffer, where the next read stops it.
    text.append(8, '\0');
    TiXmlDocument doc;
    doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    if (doc.ErrorId() == TiXmlBase::TIXML_ERROR_TOO_DEEP) return false;
    const TiXmlElement* pRoot = doc.RootElement();
    if (!pRoot) return false;

    struct Field {
        const char* pszName;
        char* pszOut;
        size_t nSize;
        bool bSigned;
        bool bTooLongIsUnreadable;
    } fields[] = {
        {"version", values.szVersion, sizeof(values.szVersion), true, true},
        {"url", values.szUrl, sizeof(values.szUrl), true, true},
        {"force", values.szForce, sizeof(values.szForce), true, true},
        {"size", values.szSize, sizeof(values.szSize), true, true},
        {"sha256", values.szSha256, sizeof(values.szSha256), true, true},
        // Only a build that checks signatures looks at these two; for it an
        // empty value simply fails the check.
        {"expires", values.szExpires, sizeof(values.szExpires), true, false},
        {"signature", values.szSignature, sizeof(values.szSignature), false, false},
        // Checked by PublisherControlsValid: empty is malformed.
        {"rollout", values.szRollout, sizeof(values.szRollout), true, false},
    };
    for (const Field& f : fields) {
        bool bTooLong = false, bHasNul = false;
        FindElementText(pRoot, f.pszName, f.pszOut, f.nSize, &bTooLong, &bHasNul);
        if (bTooLong && f.bTooLongIsUnreadable) {
            std::memset(&values, 0, sizeof(values));
            return false;
        }
        if (f.bSigned && bHasNul) values.bSignedValueHasNul = true;
    }
    values.bHasRollout = FindOnWalk(pRoot, "rollout") != nullptr;
    // Every mirror on the walk, in the order met; past the last one kept
    // only counted.
    for (const TiXmlElement* p = FindOnWalk(pRoot, "mirror"); p; p = FindOnWalk(NextOnWalk(p), "mirror")) {
        if (values.nMirrors < kMaxMirrors) {
            bool bHasNul = false;
            CopyFirstChildValue(p, values.szMirrors[values.nMirrors], kUrlSize, nullptr, &bHasNul);
            if (bHasNul) values.bSignedValueHasNul = true;
        }
        ++values.nMirrors;
    }
    return true;
}

bool ReadManifestFile(FILE* fp, ManifestValues& values) {
    std::memset(&values, 0, sizeof(values));
    if (!fp) return false;
    std::string data(kMaxManifestBytes + 1, '\0');
    size_t nRead = std::fread(&data[0], 1, data.size(), fp);
    return ReadManifest(data.data(), nRead, values);
}
