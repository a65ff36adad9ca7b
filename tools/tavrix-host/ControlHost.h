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

#include "ComObject.h"
#include "Tavrix_h.h"

// The folder of tavrix-host.exe, with a trailing backslash.
std::wstring ProgramFolder();

// The server library beside the program, loaded once.
HMODULE ServerBesideProgram();

// A new control; a failure is thrown as the HRESULT.
Microsoft::WRL::ComPtr<IUnknown> CreateControl();

// A sink of the control's events: the dispatch interface they arrive on, without type
// information; what it does with them is Invoke's.
class TavrixEventSink : public ComObject<IDispatch, &IID_IDispatch> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        return ComObject::QueryInterface(iid, object) == S_OK || Answer(iid, DIID_ITavrixEvents, object)
                   ? S_OK
                   : E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
};

// Receives the control's events and hands each on as a line of JSON.
class EventLog final : public TavrixEventSink {
public:
    explicit EventLog(std::function<void(const std::string& line, DISPID event, int error)> onEvent)
        : onEvent_(std::move(onEvent))
    {
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID event, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                                     UINT*) override;

private:
    std::function<void(const std::string&, DISPID, int)> onEvent_;
};

// Connects a sink to the control's event connection point; gives the cookie.
DWORD ConnectEvents(IUnknown* control, IDispatch* sink);

// The description of the calling thread's error information (or the status in
// hexadecimal), escaped for a JSON string.
std::string FaultDescription(HRESULT status);
