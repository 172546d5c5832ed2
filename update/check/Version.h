// Version comparison of the manifest against the built-in client version.
#pragma once

extern const char kClientVersion[];

// 1 if pszVersion is newer than kClientVersion, -1 if older, 0 if equal or
// the comparison runs out of components on either side.
int CompareVersion(const char* pszVersion);
// The same against any client version text.
int CompareVersionTexts(const char* pszVersion, const char* pszClient);
