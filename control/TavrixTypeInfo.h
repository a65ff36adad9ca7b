// The type information of ITavrix, from the type library carried by the module that
// holds this code. Loaded once; null when the module carries none.
#pragma once

#include <oaidl.h>

// The dispatch view, as containers are given it.
ITypeInfo* TavrixTypeInfo();
// The vtable view, through which calls are dispatched to the slots.
ITypeInfo* TavrixVtableTypeInfo();
