// The update check: fetch the manifest, compare versions, decide.
#pragma once

class CLumoraZUDeZazedaDlg;

extern char g_szManifestDir[520];
extern const char kManifestUrl[];

void CheckForUpdate(CLumoraZUDeZazedaDlg* pDlg);
