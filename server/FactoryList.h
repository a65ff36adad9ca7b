// The server's class factories, newest first, behind a lock that the thread holding it
// may take again (a factory removes itself while the list is being walked).
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>  // std::lock_guard

#include "Lock.h"
#include <vector>

class ControlFactory;
class ServerModule;

class FactoryList {
public:
    static FactoryList& Instance();

    void Add(ControlFactory* factory);
    void Remove(ControlFactory* factory);
    // The first factory serving the class, or null.
    ControlFactory* Find(REFCLSID classId);
    // Runs operation on each factory of the module; it may remove and destroy the one it is given.
    void ForEachOf(const ServerModule* module, const std::function<void(ControlFactory*)>& operation);

private:
    RecursiveLock lock_;
    std::vector<ControlFactory*> factories_;
};
