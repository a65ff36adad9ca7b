#include <gtest/gtest.h>

#include "HostSwitches.h"

namespace {

TEST(HostSwitches, PresetPerUserRegistration)
{
    const struct {
        std::vector<std::u16string> arguments;
        std::optional<bool> perUser;
    } cases[] = {
        {{}, std::nullopt},
        {{u"/REGSERVERPERUSER"}, true},
        {{u"-regserverperuser"}, true},
        {{u"/RegServerPerUser"}, true},
        {{u"/UNREGSERVERPERUSER"}, true},
        {{u"/regserver"}, false},
        {{u"-UnRegServer"}, false},
        {{u"/REGSERVERPERUSER", u"-Embedding"}, false},  // EMBEDDING is searched first
        {{u"-embedding", u"/REGSERVERPERUSER"}, false},
        {{u"/AUTOMATION", u"/UNREGSERVERPERUSER"}, false},
        {{u"/REGSERVER", u"/REGSERVERPERUSER"}, false},  // REGSERVER before REGSERVERPERUSER
        {{u"REGSERVERPERUSER"}, std::nullopt},          // no lead character
        {{u"\\REGSERVERPERUSER"}, std::nullopt},
        {{u"/REGSERVERPERUSERX"}, std::nullopt},        // the whole rest must match
        {{u"//REGSERVERPERUSER"}, std::nullopt},
        {{u"/"}, std::nullopt},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& a : c.arguments)
            shown += std::string(a.begin(), a.end()) + " ";
        EXPECT_EQ(PerUserRegistrationFromSwitches(c.arguments), c.perUser) << shown;
    }
}

}  // namespace
