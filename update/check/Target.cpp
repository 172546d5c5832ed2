#include "update/check/Target.h"

bool IsUrlText(std::wstring_view text) {
    return text.find(L"http:") != std::wstring_view::npos || text.substr(0, 6) == L"https:";
}
