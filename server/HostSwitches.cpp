#include "HostSwitches.h"

namespace {

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool HasSwitch(const std::vector<std::u16string>& arguments, const std::u16string& word)
{
    for (const std::u16string& argument : arguments) {
        if (argument.size() != word.size() + 1 || (argument[0] != u'-' && argument[0] != u'/'))
            continue;
        bool equal = true;
        for (size_t i = 0; i < word.size() && equal; ++i)
            equal = Upper(argument[i + 1]) == word[i];
        if (equal)
            return true;
    }
    return false;
}

}  // namespace

std::optional<bool> PerUserRegistrationFromSwitches(const std::vector<std::u16string>& arguments)
{
    const struct {
        const char16_t* word;
        bool perUser;
    } searches[] = {
        {u"AUTOMATION", false}, {u"EMBEDDING", false},       {u"REGSERVER", false},
        {u"UNREGSERVER", false}, {u"REGSERVERPERUSER", true}, {u"UNREGSERVERPERUSER", true},
    };
    for (const auto& search : searches)
        if (HasSwitch(arguments, search.word))
            return search.perUser;
    return std::nullopt;
}
