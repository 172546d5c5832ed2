// Prints, as JSON, the constants that the end-to-end tests share with the
// product: control identifiers, where every control and picture goes, and the
// window's own colours. The tests read them here instead of copying them.
#include <cstdio>

#include "res/resource.h"
#include "ui/Colours.h"
#include "ui/Layout.h"

int main() {
    const int w = kWindowWidth, h = kWindowHeight;
    const WindowLayout l = ComputeLayout(0, 0, w, h);
    const struct {
        const char* pszName;
        int nId;
        LayoutRect rc;
    } controls[] = {
        {"close", IDC_BTN_CLOSE, l.close},          {"status", IDC_STATUS_TEXT, l.status},
        {"progress", IDC_PROGRESS, l.progress},     {"ok", IDC_BTN_OK, l.ok},
        {"cancel", IDC_BTN_CANCEL, l.cancel},       {"download_page", IDC_BTN_DOWNLOAD_PAGE, l.downloadPage},
        {"feedback", IDC_BTN_FEEDBACK, l.feedback},
    };
    std::printf("{\"ids\": {");
    for (const auto& c : controls) std::printf("%s\"%s\": %d", &c == controls ? "" : ", ", c.pszName, c.nId);
    std::printf("},\n \"layout\": {");
    for (const auto& c : controls)
        std::printf("\"%s\": [%d, %d, %d, %d], ", c.pszName, c.rc.x, c.rc.y, c.rc.w, c.rc.h);
    const LayoutRect ok = OkRectNoUpdate(w, h);
    std::printf("\"ok_no_update\": [%d, %d, %d, %d]},\n", ok.x, ok.y, ok.w, ok.h);
    std::printf(" \"client\": [%d, %d], \"caption_band\": %d,\n", w, h, kCaptionBandHeight);
    std::printf(" \"pictures\": {\"state\": [%d, %d], \"advice\": [%d, %d], \"divider\": [%d, %d]},\n", kStateImageX,
                kStateImageY, kAdviceImageX, kAdviceImageY, kDividerX, h - kDividerAboveBottom);
    auto rgb = [](unsigned long c) { return std::printf("[%lu, %lu, %lu]", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); };
    std::printf(" \"colours\": {\"status_text\": "), rgb(kStatusTextColour);
    std::printf(", \"dark\": "), rgb(kDarkColour);
    std::printf("}}\n");
    return 0;
}
