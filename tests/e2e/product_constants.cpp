// Prints, as JSON, the constants that the end-to-end tests share with the
// product: control identifiers, where every control and picture goes, and the
// window's own colours. The tests read them here instead of copying them.
#include <cstdio>

#include "res/resource.h"
#include "ui/Colours.h"
#include "ui/Layout.h"
#include "ui/SkinScale.h"

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
    for (const auto& c : controls) std::printf("\"%s\": [%d, %d, %d, %d], ", c.pszName, c.rc.x, c.rc.y, c.rc.w, c.rc.h);
    const LayoutRect ok = OkRectNoUpdate(w, h);
    std::printf("\"ok_no_update\": [%d, %d, %d, %d]},\n", ok.x, ok.y, ok.w, ok.h);
    std::printf(" \"client\": [%d, %d], \"caption_band\": %d,\n", w, h, kCaptionBandHeight);
    std::printf(" \"pictures\": {\"state\": [%d, %d], \"advice\": [%d, %d], \"divider\": [%d, %d]},\n", kStateImageX,
                kStateImageY, kAdviceImageX, kAdviceImageY, kDividerX, h - kDividerAboveBottom);
    auto rgb = [](unsigned long c) {
        return std::printf("[%lu, %lu, %lu]", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    };
    std::printf(" \"colours\": {\"status_text\": "), rgb(kStatusTextColour);
    std::printf(", \"dark\": "), rgb(kDarkColour);
    // The same window at other display scales, and the skin set it draws from.
    std::printf("},\n \"by_dpi\": {");
    for (int nDpi : {96, 120, 144, 192}) {
        const int sw = ScaleToDpi(w, nDpi), sh = ScaleToDpi(h, nDpi);
        const WindowLayout sl = ComputeLayout(0, 0, sw, sh, nDpi);
        const LayoutRect scaled[] = {sl.close, sl.status, sl.progress, sl.ok, sl.cancel, sl.downloadPage, sl.feedback};
        std::printf("%s\"%d\": {\"client\": [%d, %d], \"skin_set\": %d, \"layout\": {", nDpi == 96 ? "" : ", ", nDpi,
                    sw, sh, SkinSetsFor(nDpi).aPercent[0]);
        for (size_t i = 0; i < sizeof(scaled) / sizeof(scaled[0]); ++i)
            std::printf("%s\"%s\": [%d, %d, %d, %d]", i ? ", " : "", controls[i].pszName, scaled[i].x, scaled[i].y,
                        scaled[i].w, scaled[i].h);
        const LayoutRect sok = OkRectNoUpdate(sw, sh, nDpi);
        std::printf(", \"ok_no_update\": [%d, %d, %d, %d]}, \"caption_band\": %d, \"status_font\": %d,\n", sok.x, sok.y,
                    sok.w, sok.h, ScaleToDpi(kCaptionBandHeight, nDpi), -StatusFontHeight(nDpi));
        auto s = [nDpi](int n) { return ScaleToDpi(n, nDpi); };
        std::printf(" \"pictures\": {\"state\": [%d, %d], \"advice\": [%d, %d], \"divider\": [%d, %d]}}",
                    s(kStateImageX), s(kStateImageY), s(kAdviceImageX), s(kAdviceImageY), s(kDividerX),
                    sh - s(kDividerAboveBottom));
    }
    std::printf("}}\n");
    return 0;
}
