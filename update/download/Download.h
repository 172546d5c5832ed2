// The download worker: the installer from the first source that delivers it.
#pragma once

#include <windows.h>

#include <string>

class CUpdateView;

DWORD WINAPI DownloadThreadProc(LPVOID pParam);
bool DownloadAndLaunch(const char* pszUrl, CUpdateView* pView);
std::wstring GetUrlFileName(const char* pszUrl);
// Starts the worker for the view (at most one at a time).
void StartDownloadThread(CUpdateView* pView);
