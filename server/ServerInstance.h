// The module handle of Norvane.ocx, recorded when the library loads.
#pragma once

#include <windows.h>

extern HINSTANCE ServerInstance;
