// The library's own type library, carried by the module that holds this code: its one owner
// in the process. Loaded once, on first demand, and kept; null when the module carries none.
#pragma once

#include <oaidl.h>

ITypeLib* TavrixTypeLibrary();

// The dispatch view, as containers are given it.
ITypeInfo* TavrixTypeInfo();
// The vtable view, through which calls are dispatched to the slots.
ITypeInfo* TavrixVtableTypeInfo();
