// A scope at whose end the thread holds no error information. The form's accessors leave error
// information behind when one refuses a value from a property bag, and so may the container's
// own handlers of the events a load raises; a load reports by its result alone, so none of it
// may outlive the load, however it ends.
#pragma once

#include <oleauto.h>

class DiscardsErrorInfo {
public:
    DiscardsErrorInfo() = default;
    DiscardsErrorInfo(const DiscardsErrorInfo&) = delete;
    DiscardsErrorInfo& operator=(const DiscardsErrorInfo&) = delete;
    ~DiscardsErrorInfo() { SetErrorInfo(0, nullptr); }
};
