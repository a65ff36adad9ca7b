// The registry entries of Norvane.CardReader and its type library, machine-wide.
#pragma once

#include <windows.h>

// Registers (true) or unregisters (false); an HRESULT, never an exception. A registration that
// fails part-way takes back what it wrote.
HRESULT UpdateRegistration(bool doRegister) noexcept;
