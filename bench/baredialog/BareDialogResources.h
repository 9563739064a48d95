// Resource identifiers of baredialog.exe.
#pragma once

#define IDD_BAREDIALOG 101
