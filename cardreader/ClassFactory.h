// The one class factory of Norvane.CardReader.
#pragma once

#include <windows.h>

#include <unknwn.h>

// The factory lives as long as the library; each reference to it keeps the library loaded.
IClassFactory& CardReaderFactory();
