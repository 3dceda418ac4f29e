#include "app/dialog.h"
#include "window/window_win32.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    module_instance = instance;
    InitCommonControls();
    return app_main();
}
