#include "FormNames.h"

#include <map>
#include <mutex>  // std::lock_guard
#include <string>

#include "DecimalText.h"
#include "Lock.h"

namespace {

Lock lock;
std::map<const void*, std::u16string>& Names()
{
    static std::map<const void*, std::u16string> names;
    return names;
}

bool SameName(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'a' && x <= u'z')
            x = static_cast<char16_t>(x - 32);
        if (y >= u'a' && y <= u'z')
            y = static_cast<char16_t>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

bool TakenByOther(const void* owner, const std::u16string& name)
{
    for (const auto& [holder, held] : Names())
        if (holder != owner && SameName(held, name))
            return true;
    return false;
}

}  // namespace

std::u16string FormNames::Claim(const void* owner, const std::u16string& wanted)
{
    std::lock_guard<Lock> guard(lock);
    std::u16string name = wanted;
    for (unsigned suffix = 1; TakenByOther(owner, name); ++suffix) {
        name = wanted + u"_" + DecimalText(suffix);
    }
    Names()[owner] = name;
    return name;
}

void FormNames::Release(const void* owner)
{
    std::lock_guard<Lock> guard(lock);
    Names().erase(owner);
}
