// Identifiers of the Windows program's resources, shared by updater.rc and
// the Win32 user interface.
#pragma once

#define IDI_UPDATER 1               // the programs' icon
#define IDD_UPDATE 101              // the confirmation dialog

#define IDC_INSTALLED_VERSION 1000  // installed version, "1.020"
#define IDC_INSTALL_FOLDER 1001     // install folder
#define IDC_UPDATE_SENTENCE 1002    // what the update does
#define IDC_SAVE_NOTE 1003          // whether save data carries over
#define IDC_PROGRESS 1004           // progress bar of the running update
#define IDC_PROGRESS_FILE 1005      // the file the running update works on

#ifndef IDC_STATIC
#define IDC_STATIC (-1)             // labels and frames nobody addresses
#endif
