// Resource identifiers of the GraphEdit stand-in.
#pragma once

#define IDM_MAIN 100
#define IDD_CONNECT 101
#define IDC_GRAPHS 1001
// The command that opens the connection dialog: GraphEdit's own identifier, which the viewer
// bridge posts to the main window.
#define IDM_CONNECT_REMOTE 0x8034
#define IDM_EXIT 0x8001
