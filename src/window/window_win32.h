// What the Windows entry hands to the Windows window.
#pragma once

#include <windows.h>

// The module instance, stored at entry; the dialog template and the file
// dialogs are loaded from it.
extern HINSTANCE module_instance;
