// tavrix-host's window: the control in place in a frame, a card type field, Read, Save and
// Load buttons, and a log of every event.
#pragma once

#include <string>

struct WindowOptions {
    std::wstring readCtype;   // read at once with this card type, when given
    bool read = false;
    std::wstring screenshot;  // a PNG of the window after the read, when given
    std::wstring stateFile = L"tavrix-state.dat";
    bool exitWhenDone = false;
};

// Runs until the window closes (or, with exitWhenDone, until the actions are done).
int RunWindow(const WindowOptions& options);
