#include "FactoryList.h"

#include <algorithm>

#include "ControlFactory.h"

FactoryList& FactoryList::Instance()
{
    static FactoryList list;
    return list;
}

void FactoryList::Add(ControlFactory* factory)
{
    std::lock_guard<RecursiveLock> guard(lock_);
    factories_.insert(factories_.begin(), factory);
}

void FactoryList::Remove(ControlFactory* factory)
{
    std::lock_guard<RecursiveLock> guard(lock_);
    factories_.erase(std::remove(factories_.begin(), factories_.end(), factory), factories_.end());
}

ControlFactory* FactoryList::Find(REFCLSID classId)
{
    std::lock_guard<RecursiveLock> guard(lock_);
    for (ControlFactory* factory : factories_)
        if (IsEqualCLSID(factory->ClassID, classId))
            return factory;
    return nullptr;
}

void FactoryList::ForEachOf(const ServerModule* module, const std::function<void(ControlFactory*)>& operation)
{
    std::lock_guard<RecursiveLock> guard(lock_);
    const std::vector<ControlFactory*> walked = factories_;  // the operation may change the list
    for (ControlFactory* factory : walked)
        if (&factory->Owner == module)
            operation(factory);
}
