// Writing and removing registry entries under the root that PerUserRegistration chooses.
#pragma once

#include <windows.h>

#include <string>

struct RegistryRoot {
    HKEY root;
    std::wstring prefix;  // put before every key path
};

// HKEY_CLASSES_ROOT, or HKEY_CURRENT_USER with "Software\Classes\" for per-user registration.
RegistryRoot GetRegRootAndPrefix();

// Creates the key path (and every missing key along it) and sets one REG_SZ value; an
// empty name is the default value. Raises a fault when either fails.
void WriteRegEntry(const RegistryRoot& root, const std::wstring& keyPath, const std::wstring& name,
                   const std::wstring& value);

// Deletes one key; a missing key, or one with subkeys, stays as it is.
void RemoveRegKey(const RegistryRoot& root, const std::wstring& keyPath);
