// The download worker and the hand-over of the installer to the shell.
#pragma once

#include <windows.h>

#include <string>

class CLumoraZUDeZazedaDlg;

DWORD WINAPI DownloadThreadProc(LPVOID pParam);
bool DownloadAndLaunch(const char* pszUrl, CLumoraZUDeZazedaDlg* pDlg);
std::wstring GetUrlFileName(const char* pszUrl);
// Starts the worker for the window (at most one at a time).
void StartDownloadThread(CLumoraZUDeZazedaDlg* pDlg);
