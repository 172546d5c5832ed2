// The product's feedback and manual download pages, opened from the failure
// state. Defined per executable by the build (scheme and host).
#pragma once

extern const wchar_t kFeedbackPageUrl[];
extern const wchar_t kDownloadPageUrl[];
