#pragma once
// Resource and control ids, shared by app.rc and the code.

#define IDD_ABOUT 100
#define IDI_APP 128
#define IDR_MAINFRAME 128
#define IDD_MAIN 129
#define IDD_KEY_INPUT 130

#define IDC_FILE_LIST 32775
#define ID_SELECT_SOURCE 32776
#define ID_ENCRYPT 32777
#define ID_DECRYPT 32778
#define ID_SHOW_ABOUT 57664

// The key dialog's field shares its number with the main window's decrypt command.
#define IDC_KEY_EDIT 32778

// Ids of the string table's entries; nothing loads them.
#define IDS_READY 57345
