// TTavrix: the control's form. It holds the container's event sink in FEvents and
// serves the card read command.
#pragma once

#include <windows.h>

#include <wrl/client.h>

#include "Tavrix_h.h"

class TTavrix {
public:
    // controller: the object whose identity the form shares, which owns the form.
    explicit TTavrix(IUnknown* controller) : controller_(controller) {}
    TTavrix(const TTavrix&) = delete;
    TTavrix& operator=(const TTavrix&) = delete;

    // Reads one card and reports it through On_ReadData before returning.
    HRESULT STDMETHODCALLTYPE Read_Card(BSTR ctype);

    // The event connection point's sink changed: a sink, or none when disconnected.
    // A sink that is no ITavrixEvents is a fault. The first change that brings a sink
    // raises OnCreate on it.
    void SinkChanged(IUnknown* sink);

private:
    void RaiseCreate();

    IUnknown* controller_;
    Microsoft::WRL::ComPtr<ITavrixEvents> FEvents;
    unsigned sinkChanges_ = 0;
};
