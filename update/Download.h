// The download worker and the hand-over of the installer to the shell.
#pragma once

#include <windows.h>

#include <string>

class CUpdateView;

DWORD WINAPI DownloadThreadProc(LPVOID pParam);
bool DownloadAndLaunch(const char* pszUrl, CUpdateView* pView);
std::wstring GetUrlFileName(const char* pszUrl);
// Starts the worker for the view (at most one at a time).
void StartDownloadThread(CUpdateView* pView);
// Hands an installer to the shell ("open", shown normally) and logs the
// shell's answer.
void HandToShell(const std::wstring& path);
