#ifndef DESKTOP_WINDOWS_INSTALLER_HOST_INSTALLER_RESOURCES_H_
#define DESKTOP_WINDOWS_INSTALLER_HOST_INSTALLER_RESOURCES_H_

// Resources of the host executable that the installer window reads: the dialog templates,
// their control ids, the icon, the images and the terms of service. Plain macros: the
// resource compiler reads this file too. The texts of the controls are not in the
// templates; the window sets them from the localised string tables.

#define IDI_INSTALLER 1

#define IDD_INSTALLER_MAIN 101
#define IDD_INSTALLER_OPTIONS 138

// Images, decoded with GDI+: resource types "JPG" and "PNG".
#define IDR_BACKGROUND_IMAGE 139
#define IDR_LOGO_IMAGE 140
#define IDR_ERROR_BADGE_IMAGE 141
// The terms of service: UTF-8 text of type "TXT", lines separated by "\n".
#define IDR_TERMS_OF_SERVICE 142

// Controls of the main dialog.
#define IDC_LOGO 1000
#define IDC_OPTIONS 1001
#define IDC_UNINSTALL_CANCEL 1002
#define IDC_ACCEPT 1003
#define IDC_FULL_PACKAGE 1004
#define IDC_RETRY 1005
#define IDC_UNINSTALL 1006
#define IDC_HEADING 1007
#define IDC_TERMS_SENTENCE 1008
#define IDC_PROGRESS_TITLE 1009
#define IDC_INSTALL_FAILED_TITLE 1010
#define IDC_STATUS_TEXT 1011
#define IDC_TERMS_TEXT 1012
#define IDC_BACK 1013
#define IDC_MAIN_INSTALL_PATH 1017
#define IDC_MAIN_BROWSE 1019
#define IDC_PROGRESS_BAR 1025
#define IDC_RED_TEXT 1028
#define IDC_UNINSTALL_QUESTION 1029
#define IDC_DELETE_PROFILE 1030
#define IDC_UNINSTALL_FAILED_TITLE 1038

// Controls of the options dialog.
#define IDC_LANGUAGE 1014
#define IDC_INSTALL_MODE 1015
#define IDC_INSTALL_PATH 1016
#define IDC_CHANGE_PATH 1018
#define IDC_DEFAULT_BROWSER 1022
#define IDC_IMPORT_DATA 1023
#define IDC_SHARE_USAGE_DATA 1024
#define IDC_INVALID_PATH 1027
#define IDC_LANGUAGE_LABEL 1031
#define IDC_INSTALL_MODE_LABEL 1032
#define IDC_INSTALL_PATH_LABEL 1033

#endif  // DESKTOP_WINDOWS_INSTALLER_HOST_INSTALLER_RESOURCES_H_
