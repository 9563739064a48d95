// LathmereTest: a test harness for the Lathmere MPEG-4 writer. The process is one modal dialog.
#include <windows.h>

#include "Debug.h"
#include "MainDialog.h"
#include "Module.h"

FW_ASSERT_SOURCE(L"LathmereTest");

class CLathmereTestModule : public fw::ExeModule {};

CLathmereTestModule _AtlModule;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    HRESULT hr = _AtlModule.InitializeCom();
    if (hr != S_OK) {
        // S_FALSE too: COM was already set up on this thread by someone else.
        FW_ASSERT_FAILED(L"_AtlModule.InitializeCom() FAILED");
        return hr;
    }
    HWND hWndOwner = ::GetActiveWindow();
    {
        CMainDialog dlg;
        dlg.DoModal(hWndOwner, 0);
    }
    _AtlModule.Term();
    _AtlModule.UninitializeCom();
    return 0;
}
