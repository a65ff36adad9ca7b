// The forms registered as dock sites in this process; forms on several threads come and go.
#pragma once

class TTavrix;

void AddDockSite(const TTavrix* form);
void RemoveDockSite(const TTavrix* form);
