// Resource and control identifiers of the update client.
#pragma once

#define IDD_UPDATE_DIALOG 102
#define IDI_APP_ICON 131

#define IDC_PROGRESS 1
#define IDC_BTN_OK 1000
#define IDC_BTN_CANCEL 1001
#define IDC_BTN_CLOSE 1002
#define IDC_BTN_DOWNLOAD_PAGE 1004
#define IDC_BTN_FEEDBACK 1005
#define IDC_STATUS_TEXT 1007

#define IDT_PROGRESS 1
