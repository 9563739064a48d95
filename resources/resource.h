// Resource identifiers of LathmereTest.exe.
#pragma once

#define IDS_PROJNAME 100
#define IDD_MAINDLG 101
#define IDI_LATHMERETEST 200

#define IDC_LOAD 201
#define IDC_FILE 202
#define IDC_SHARED_ACCESS 203
#define IDC_MDAT_MODE 204
#define IDC_INTERLEAVING 205
#define IDC_INTERLEAVING_SPIN 206
#define IDC_LONG_DUR 207
#define IDC_NON_DROP 208
#define IDC_SAVE_BREAKS_ONLY 209
#define IDC_BUILD_GRAPH 210
#define IDC_SHOW_GRAPH 211
#define IDC_WRITTEN 212
#define IDC_PLAY 220
#define IDC_PAUSE 221
#define IDC_STOP 222
