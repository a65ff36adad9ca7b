#include "DockSites.h"

#include <mutex>  // std::lock_guard
#include <set>

#include "Lock.h"

namespace {

Lock lock;

std::set<const TTavrix*>& Sites()
{
    static std::set<const TTavrix*> sites;
    return sites;
}

}  // namespace

void AddDockSite(const TTavrix* form)
{
    const std::lock_guard<Lock> guard(lock);
    Sites().insert(form);
}

void RemoveDockSite(const TTavrix* form)
{
    const std::lock_guard<Lock> guard(lock);
    Sites().erase(form);
}
