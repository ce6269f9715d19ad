// Resource identifiers, shared by decrimp95.rc and the shell.
#ifndef DECRIMP_RESOURCE_H
#define DECRIMP_RESOURCE_H

#define IDI_APP       101
#define IDB_ABOUT     102
#define IDR_MAINMENU  103
#define IDD_ABOUT     104

#define IDM_OPEN      40001
#define IDM_ABOUT     40002
#define IDM_QUIT      40003

#define IDC_OVERWRITE 1005
#define IDC_GENERATE  1006
#define IDC_RUN       1007
#define IDC_FILELIST  1008

#endif
