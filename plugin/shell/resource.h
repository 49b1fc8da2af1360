// Resource ids of the plug-in library, shared by the resource script and the code.
#pragma once

#define IDS_LIB_DESCRIPTION 1
#define IDS_CATEGORY 2
#define IDS_CLASS_NAME 3

#define IDI_KESTRELWORKS 107
#define IDD_EXPORT_OPTIONS 108

#define IDC_EXPORT_REFERENCE 1019
#define IDC_EXPORT_SEQUENCE 1020
#define IDC_REVERSE_SEQUENCE 1037
#define IDC_LOG_WARNINGS 1045
#define IDC_START_FRAME_EDIT 1163
#define IDC_START_FRAME_SPINNER 1164
#define IDC_END_FRAME_EDIT 1165
#define IDC_END_FRAME_SPINNER 1166

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
