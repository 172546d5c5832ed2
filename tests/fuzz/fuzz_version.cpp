// Version texts of any shape: the comparison ends, stays in bounds, answers
// -1, 0 or 1, and is antisymmetric unless a text ends with "." (a trailing
// dot ends the comparison only on the manifest's side).
#include <cstddef>
#include <cstdint>
#include <string>

#include "update/check/Version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t cut = text.find('\0');
    std::string a = text.substr(0, cut);
    std::string b = cut == std::string::npos ? std::string("1.1.1.2") : text.substr(cut + 1);
    b = b.c_str();
    int ab = CompareVersionTexts(a.c_str(), b.c_str());
    if (ab < -1 || ab > 1) __builtin_trap();
    if (!a.empty() && !b.empty() && a.back() != '.' && b.back() != '.' &&
        CompareVersionTexts(b.c_str(), a.c_str()) != -ab)
        __builtin_trap();
    CompareVersion(a.c_str());
    return 0;
}
