// The event sink the card reader connects to its control: takes On_ReadData by its DISPID and
// keeps its arguments; every other event of the control is acknowledged and ignored.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <optional>

#include "ComObject.h"
#include "ReadResult.h"

class ReadDataSink final : public ComObject<IDispatch, &IID_IDispatch> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID, WORD, DISPPARAMS* parameters, VARIANT*,
                                     EXCEPINFO*, UINT* argumentError) override;

    // Starts taking the event of one read; forgets what an earlier one left.
    void Expect();
    // The event's arguments, when one came since Expect; stops taking events.
    std::optional<ReadResult> Take();

private:
    bool expecting_ = false;
    std::optional<ReadResult> taken_;
};
