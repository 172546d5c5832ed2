#include "update/Manifest.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "tinyxml.h"

bool FindElementText(const TiXmlElement* pStart, const char* pszName, char* pszOut, size_t nOutSize,
                     bool* pbTooLong) {
    if (pbTooLong) *pbTooLong = false;
    const TiXmlElement* pNode = pStart;
    while (pNode) {
        if (std::strcmp(pNode->Value(), pszName) == 0) {
            const TiXmlNode* pChild = pNode->FirstChild();
            if (pChild) {
                const std::string& value = pChild->ValueStr();
                if (value.size() >= nOutSize) {
                    if (pbTooLong) *pbTooLong = true;
                    if (nOutSize) pszOut[0] = '\0';
                } else {
                    std::memcpy(pszOut, value.data(), value.size());
                }
            }
            return true;
        }
        const TiXmlElement* pNext = pNode->FirstChildElement();
        pNode = pNext ? pNext : pNode->NextSiblingElement();
    }
    return false;
}

size_t XmlNestingDepth(const char* p, size_t n) {
    size_t nDepth = 0, nMax = 0;
    auto skipTo = [&](size_t i, const char* pszEnd) {
        size_t nLen = std::strlen(pszEnd);
        for (; i + nLen <= n; ++i)
            if (std::memcmp(p + i, pszEnd, nLen) == 0) return i + nLen;
        return n;
    };
    for (size_t i = 0; i < n;) {
        if (p[i] != '<') {
            ++i;
            continue;
        }
        if (i + 4 <= n && std::memcmp(p + i, "<!--", 4) == 0) {
            i = skipTo(i + 4, "-->");
        } else if (i + 9 <= n && std::memcmp(p + i, "<![CDATA[", 9) == 0) {
            i = skipTo(i + 9, "]]>");
        } else if (i + 1 < n && (p[i + 1] == '?' || p[i + 1] == '!')) {
            i = skipTo(i + 2, ">");
        } else if (i + 1 < n && p[i + 1] == '/') {
            if (nDepth) --nDepth;
            i = skipTo(i + 2, ">");
        } else {
            // A start tag: find its end outside quoted attribute values.
            char quote = 0;
            size_t j = i + 1;
            for (; j < n; ++j) {
                if (quote) {
                    if (p[j] == quote) quote = 0;
                } else if (p[j] == '"' || p[j] == '\'') {
                    quote = p[j];
                } else if (p[j] == '>') {
                    break;
                }
            }
            bool bSelfClosing = j < n && j > i + 1 && p[j - 1] == '/';
            if (!bSelfClosing && ++nDepth > nMax) nMax = nDepth;
            i = j < n ? j + 1 : n;
        }
    }
    return nMax;
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
    if (!pData || nSize == 0 || nSize > kMaxManifestBytes) return false;
    if (XmlNestingDepth(pData, nSize) > kMaxManifestDepth) return false;

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
    const TiXmlElement* pRoot = doc.RootElement();
    if (!pRoot) return false;

    struct Field {
        const char* pszName;
        char* pszOut;
        size_t nSize;
    } fields[] = {
        {"version", values.szVersion, sizeof(values.szVersion)},
        {"url", values.szUrl, sizeof(values.szUrl)},
        {"force", values.szForce, sizeof(values.szForce)},
        {"size", values.szSize, sizeof(values.szSize)},
        {"sha256", values.szSha256, sizeof(values.szSha256)},
    };
    for (const Field& f : fields) {
        bool bTooLong = false;
        FindElementText(pRoot, f.pszName, f.pszOut, f.nSize, &bTooLong);
        if (bTooLong) {
            std::memset(&values, 0, sizeof(values));
            return false;
        }
    }
    return true;
}

bool ReadManifestFile(const char* pszPath, ManifestValues& values) {
    std::memset(&values, 0, sizeof(values));
    FILE* fp = std::fopen(pszPath, "rb");
    if (!fp) return false;
    std::string data(kMaxManifestBytes + 1, '\0');
    size_t nRead = std::fread(&data[0], 1, data.size(), fp);
    std::fclose(fp);
    return ReadManifest(data.data(), nRead, values);
}
