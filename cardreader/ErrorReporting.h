// The rule by which a fault ends at the object's boundary: an HRESULT, and error information
// for the calling thread that a Basic caller reads as Err.Number and Err.Description.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <exception>
#include <new>
#include <string>

#include "Fault.h"

// A failed call into the control, with the error information the control left for it: passed on
// as it stands, so that the caller sees the control's own status, source and text.
class ForwardedFault : public PlatformFault {
public:
    ForwardedFault(HRESULT status, Microsoft::WRL::ComPtr<IErrorInfo> info);
    const Microsoft::WRL::ComPtr<IErrorInfo>& info() const noexcept { return info_; }

private:
    Microsoft::WRL::ComPtr<IErrorInfo> info_;
};

// The platform's wording for a status with the status in hexadecimal, or the status alone.
std::u16string StatusText(HRESULT status);

// Takes the outcome of a call into the control: a failure raises a ForwardedFault when the
// thread holds error information, and a PlatformFault naming the call otherwise. Clear the
// thread's error information just before the call (SetErrorInfo(0, nullptr)), so that what is
// found there came from it: the control sets error information for ITavrix, yet its
// InterfaceSupportsErrorInfo answers S_FALSE for that interface, so it cannot be asked.
void CheckCall(HRESULT status, const std::u16string& call);

// For calls on ICardReader: the status, and error information for the calling thread.
HRESULT ReportFault(std::exception_ptr fault) noexcept;

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

// For calls that give a status alone; body gives the call's own result.
template <typename Body>
HRESULT StatusGuard(Body&& body) noexcept
{
    try {
        return body();
    } catch (const PlatformFault& fault) {
        return fault.status() < 0 ? fault.status() : E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
