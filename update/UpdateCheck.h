// The update check: fetch the manifest, compare versions, decide.
#pragma once

class CLumoraZUDeZazedaDlg;

extern char g_szManifestDir[520];
extern const char kManifestUrl[];

void CheckForUpdate(CLumoraZUDeZazedaDlg* pDlg);
// Sends the manifest request ahead of the check when the check will need it;
// CheckForUpdate then takes over that transfer.
void StartManifestFetch(CLumoraZUDeZazedaDlg* pDlg);
