#include "common/Utf8.h"

size_t Utf8SequenceLength(const unsigned char* p, size_t n, uint32_t* pCodePoint) {
    if (n == 0) return 0;
    const unsigned char c = p[0];
    size_t len;
    uint32_t min;
    if (c < 0x80) {
        len = 1;
        min = 0;
    } else if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (n < len) return 0;
    uint32_t cp = len == 1 ? c : c & (0x3F >> (len - 1));
    for (size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    if (pCodePoint) *pCodePoint = cp;
    return len;
}

bool IsValidUtf8(const char* pData, size_t n) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pData);
    for (size_t i = 0; i < n;) {
        const size_t len = Utf8SequenceLength(p + i, n - i);
        if (!len) return false;
        i += len;
    }
    return true;
}
