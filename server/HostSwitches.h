// The host's command-line switches that preset per-user registration while the server
// starts: an argument led by "-" or "/" whose rest equals the switch word, in any case.
#pragma once

#include <optional>
#include <string>
#include <vector>

// arguments: the host's command line without the program name. Gives the preset, or
// nothing when no switch is present. The first search that finds its switch decides:
// "AUTOMATION" and "EMBEDDING", then "REGSERVER", "UNREGSERVER", "REGSERVERPERUSER" and
// "UNREGSERVERPERUSER".
std::optional<bool> PerUserRegistrationFromSwitches(const std::vector<std::u16string>& arguments);
