// Numeric names of the window's resources, shared by the resource script
// and the code. The values are fixed: the handset build and anything that
// reads the program's resources rely on them.
#ifndef VELMORA_RESOURCE_H
#define VELMORA_RESOURCE_H

#define IDI_APP             101
#define IDS_START           105
#define IDM_TOGGLE          106
#define IDD_MAIN            129
#define IDR_MENUBAR         130
#define IDC_ABOUT           203
#define IDC_PORT_LIST       1001
#define IDC_TCP_PORT        1002
#define IDC_INPUT_STATUS    1003
#define IDC_OUTPUT_STATUS   1004
#define IDC_PORT_SPIN       1005

#endif
