// The control as tavrix-host holds it: created through its registration or, when it is not
// registered, from the Norvane.ocx beside the program; and a sink that turns every event
// into a line of JSON.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>
#include <string>

#include "Tavrix_h.h"

// The folder of tavrix-host.exe, with a trailing backslash.
std::wstring ProgramFolder();

// The server library beside the program, loaded once.
HMODULE ServerBesideProgram();

// A new control; a failure is thrown as the HRESULT.
Microsoft::WRL::ComPtr<IUnknown> CreateControl();

// Receives the control's events and hands each on as a line of JSON.
class EventLog final : public IDispatch {
public:
    explicit EventLog(std::function<void(const std::string& line, DISPID event, int error)> onEvent)
        : onEvent_(std::move(onEvent))
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID event, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                                     UINT*) override;

private:
    std::function<void(const std::string&, DISPID, int)> onEvent_;
    std::atomic<ULONG> references_{0};
};

// Connects a sink to the control's event connection point; gives the cookie.
DWORD ConnectEvents(IUnknown* control, IDispatch* sink);

// The description of the calling thread's error information (or the status in
// hexadecimal), escaped for a JSON string.
std::string FaultDescription(HRESULT status);
