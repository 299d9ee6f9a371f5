#pragma once
// Resource and control ids, shared by app.rc and the code.

#define IDD_ABOUT 100
#define IDI_APP 128
#define IDR_MAINFRAME 128
#define IDD_MAIN 129
#define IDD_KEY_INPUT 130
#define IDD_PROGRESS 131

#define IDC_FILE_LIST 32775
#define ID_SELECT_SOURCE 32776
#define ID_ENCRYPT 32777
#define ID_DECRYPT 32778
#define ID_SHOW_ABOUT 57664

// The key dialog's field shares its number with the main window's decrypt command.
#define IDC_KEY_EDIT 32778

// The progress dialog's action, file name and bar.
#define IDC_PROGRESS_ACTION 1001
#define IDC_PROGRESS_NAME 1002
#define IDC_PROGRESS_BAR 1003

// Ids of the string table's entries; nothing loads them.
#define IDS_READY 57345
