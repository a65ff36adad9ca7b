#include "LibraryState.h"

HINSTANCE LibraryInstance = nullptr;
std::atomic<bool> LibraryUnloadsWithProcess{false};
std::atomic<long> LibraryUsers{0};
