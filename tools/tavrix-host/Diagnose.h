// tavrix-host diagnose [--json]: what a support desk needs to know about a machine where reading
// fails: the registered control of each architecture, each reader library path, and which library
// each control would use. Changes nothing.
#pragma once

int Diagnose(bool json);
