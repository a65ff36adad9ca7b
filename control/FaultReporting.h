// The rules by which a fault ends at a COM boundary.
#pragma once

#include <windows.h>

#include <exception>

#include "Fault.h"

// For calls on ITavrix: an HRESULT, and error information for the calling thread.
HRESULT ReportFault(std::exception_ptr fault);

// What IDispatch::Invoke gives for a method's status: a failure becomes DISP_E_EXCEPTION with
// the thread's error information moved into exception, as the type information's Invoke does.
HRESULT DispatchStatus(HRESULT status, EXCEPINFO* exception);

// For the control protocols and persistence: an HRESULT only.
HRESULT HandleFault(std::exception_ptr fault);

// For a fault that escapes the handling of a window message: a message box, after
// which the message counts as handled.
void ShowFault(std::exception_ptr fault);

// Throws a PlatformFault for a failed status; gives a successful one back.
HRESULT Check(HRESULT status);

// Runs body under the ITavrix rule.
template <typename Body>
HRESULT ReportingGuard(Body&& body) noexcept
{
    try {
        body();
        return S_OK;
    } catch (...) {
        return ReportFault(std::current_exception());
    }
}

// Runs body under the control-protocol rule; body gives the method's own result.
template <typename Body>
HRESULT HandlingGuard(Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return HandleFault(std::current_exception());
    }
}
