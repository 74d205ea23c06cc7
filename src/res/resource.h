// Resource and control ids, shared by the .rc file and the code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_INSTALL_DIALOG 103
#define IDR_MAINFRAME 128

#define IDC_DRIVER_COMBO 1000
#define IDC_PRINTER_NAME 1001
#define IDC_SET_DEFAULT 1002
#define IDC_PORT_HINT 1003
#define IDC_PORT_TYPE_LIST 1004
#define IDC_PROGRESS 1007
#define IDC_PORT_GROUP 1008
#define IDC_DRIVER_LABEL 1009
#define IDC_PRINTER_LABEL 1010
#define IDC_STATUS 1011
#define IDC_INSTALL 1012

#define IDD_TCPIP_PORT_DIALOG 129
#define IDD_SERIAL_PROMPT_DIALOG 136
#define IDD_PARALLEL_PORT_DIALOG 137

// The port dialogs (their list is control 1004, like the main dialog's).
#define IDC_PORT_LIST 1004
#define IDC_ADD_PORT 1029
#define IDC_PORT_PROMPT 1030
#define IDC_CONFIGURE_PORT 1031
#define IDC_DELETE_PORT 1032
#define IDC_SELECT_PORT 1037
#define IDC_CANCEL_PORT 1039

// The serial prompt.
#define IDC_PROMPT_YES 1030
#define IDC_BAUD_RATE 1034
#define IDC_PROMPT_NO 1036
