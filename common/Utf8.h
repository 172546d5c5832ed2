// UTF-8 read strictly, for every layer that takes text from outside (the
// manifest, values the log writes): no stray continuation bytes, no
// truncated, overlong or surrogate sequences, nothing above U+10FFFF.
#pragma once

#include <cstddef>
#include <cstdint>

// The length of the sequence that starts at p (n bytes left) and its code
// point; 0 when the bytes there are not one. ASCII is a sequence of one.
size_t Utf8SequenceLength(const unsigned char* p, size_t n, uint32_t* pCodePoint = nullptr);
bool IsValidUtf8(const char* pData, size_t nSize);
