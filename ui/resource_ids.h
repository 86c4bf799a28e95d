/* Identifiers of the program's resources, controls and menu commands, shared by vessiko.rc
   and the code; plain defines so that the resource compiler reads them too. */
#pragma once

/* Resources. */
#define IDD_MAIN 101
#define IDR_SCOPE_MENU 102
#define IDR_MAIN_MENU 103
#define IDI_VESSIKO 109

/* Controls of the main dialog. */
#define IDC_NAME_EDIT 1001
#define IDC_RESULT_LIST 1002
#define IDC_EXTENSION_EDIT 1006
#define IDC_DOT 1008
#define IDC_ADD_FOLDER 1018
#define IDC_REMOVE_FOLDER 1019
#define IDC_SCOPE_LIST 1020
#define IDC_HIDDEN 1024
#define IDC_SYSTEM 1025
#define IDC_FILTER_BUTTON 1027
#define IDC_NORMAL 1028
#define IDC_SIZE_CHECK 1029
#define IDC_SIZE_OPERATOR 1030
#define IDC_SIZE_VALUE 1031
#define IDC_DATE_CHECK 1032
#define IDC_DATE_KIND 1033
#define IDC_BEFORE_PICKER 1034
#define IDC_BEFORE_RADIO 1035
#define IDC_AFTER_RADIO 1036
#define IDC_BETWEEN_RADIO 1037
#define IDC_AFTER_PICKER 1038
#define IDC_START_PICKER 1039
#define IDC_END_PICKER 1040
#define IDC_SIZE_UNIT 1041
#define IDC_REMOVE_ALL_FOLDERS 1043
#define IDC_CHECK_ALL_VOLUMES 1044
#define IDC_ATTRIBUTE_CHECK 1045
/* Created at run time, not in the template. */
#define IDC_STATUS_BAR 12345

/* Menu 103, the menu bar. */
#define IDM_CASE_SENSITIVE 40008
#define IDM_SEARCH_FOLDERS 40019
#define IDM_SEARCH_FILES 40020
#define IDM_HELP 40024
#define IDM_ABOUT 40025
#define IDM_SCOPE_PANEL 40028
#define IDM_FILTER_PANEL 40029
#define IDM_NEW_WINDOW 40036
#define IDM_EXPORT 40038
#define IDM_EXIT 40040

/* Menu 102, the scope list's pop-up menu (search/scope_list.h names the same commands). */
#define IDM_ADD_FOLDER 40003
#define IDM_REMOVE_FOLDER 40004
#define IDM_REMOVE_ALL_FOLDERS 40032
#define IDM_CHECK_ALL_VOLUMES 40034
