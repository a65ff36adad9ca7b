// The library's own type library, read from the TYPELIB resource of its file.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

// Loads the type library from the library file; raises a fault when it cannot be read.
Microsoft::WRL::ComPtr<ITypeLib> LoadOwnTypeLibrary();

// ICardReader's type information, loaded once on first need and kept while the library is
// loaded: the dispatch view that callers are given, and the vtable view that calls are
// invoked through. Raise a fault when the type library cannot be read.
ITypeInfo* CardReaderTypeInfo();
ITypeInfo* CardReaderVtableTypeInfo();
