// Identifiers shared by Kindsniffer.rc and the dialog code.
#pragma once

#define IDD_MAIN        101
#define IDI_APP_LARGE   103
#define IDI_APP_SMALL   104

#define IDC_TYPE_TITLE  1001
#define IDC_EXT_LIST    1002
#define IDC_RENAME      1003
#define IDC_NEXT        1004

// Accelerator commands carry the virtual-key codes of their keys.
#define ID_KEY_RETURN   13
#define ID_KEY_ESCAPE   27

#ifndef IDC_STATIC
#define IDC_STATIC      (-1)
#endif
