// The process-wide hidden window that holds control windows not shown in a container.
#pragma once

#include <windows.h>

// Made on first need, on the calling thread; class "QivParkingWindow".
HWND ParkingWindow();
