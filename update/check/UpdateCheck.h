// The update check: fetch the manifest, compare versions, decide.
#pragma once

class CUpdateView;

extern char g_szManifestDir[520];
extern const char kManifestUrl[];

void CheckForUpdate(CUpdateView* pView);
// Sends the manifest request ahead of the check when the check will need it;
// CheckForUpdate then takes over that transfer.
void StartManifestFetch(CUpdateView* pView);
