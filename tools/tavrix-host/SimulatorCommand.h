// tavrix-host simulator install|remove: puts the reader simulator where this build's control
// looks for the reader library, and takes it away again, without ever losing a library that is
// not ours: a vendor library is refused, or set aside under another name and put back by remove.
#pragma once

#include <string>
#include <vector>

// Whether the file is our reader simulator (its version resource says so); false for a file
// that is not there or has no such resource.
bool IsReaderSimulator(const std::wstring& path);

// arguments: what follows "simulator". Prints what it did; gives the exit status.
int SimulatorCommand(const std::vector<std::wstring>& arguments);
