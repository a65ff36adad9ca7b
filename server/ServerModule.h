// The server's module-wide state: its counters, its type library and its factories.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <atomic>
#include <string>

// The registry root for registration: the current user's classes when true.
extern bool PerUserRegistration;

// Raised while the library unloads; control objects destroyed after it leave ObjectCount alone.
extern std::atomic<bool> ServerShutDown;

class ServerModule {
public:
    // Live control objects plus outstanding LockServer(TRUE) locks.
    std::atomic<int32_t> ObjectCount{0};
    // Outstanding references to class factory interfaces.
    std::atomic<int32_t> FactoryCount{0};
    // False when start-up stopped (no usable type library, no factory): no class is served
    // and registration fails.
    bool Started = false;

    // The library's own type library, loaded from the library file on first demand by its one
    // owner, the form's type information.
    ITypeLib* TypeLib();
    // The type library's name, or the file name without folder and extension.
    std::wstring ServerName();
    // The full long path of the library file.
    std::wstring ServerFileName() const;
    static constexpr const wchar_t* ServerKey = L"InprocServer32";
    std::wstring HelpFileName;

    // Registers (true) or unregisters (false) the type library and every factory's
    // class entries; raises a fault on failure.
    void UpdateRegistry(bool doRegister);
};

// The one ServerModule; started on the first call into the library, null after shut-down.
ServerModule* Server();
// Destroys the module and its factories; called while the library unloads.
void ShutDownServer(bool processEnding);
