// The hidden window that holds control windows not shown in a container: one per thread,
// so that a control's window never shares another thread's input queue or dies with it.
#pragma once

#include <windows.h>

// This thread's parking window of class "QivParkingWindow", made on first need and made
// anew after it was destroyed.
HWND ParkingWindow();
