// Norvane.CardReader: reads one card at a time through a Tavrix control of its own and keeps
// what the last read's On_ReadData carried, in types every Basic has. Apartment threaded: all
// calls come on the thread that created it.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <array>
#include <memory>

#include "CardReader_h.h"
#include "ComObject.h"
#include "LibraryState.h"
#include "ReadDataSink.h"
#include "ReadResult.h"
#include "TavrixConnection.h"

class CardReader final : public ComObject<ICardReader, &IID_ICardReader>, public ISupportErrorInfo {
public:
    CardReader();
    ~CardReader() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ComObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return ComObject::Release(); }

    // IDispatch, through the type information.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // ICardReader
    HRESULT STDMETHODCALLTYPE Read(BSTR ctype, VARIANT_BOOL* good) override;
    HRESULT STDMETHODCALLTYPE get_CardID(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_ErrorCode(long* value) override;
    HRESULT STDMETHODCALLTYPE get_Message(BSTR* value) override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    struct Answered {
        const IID& iid;
        IUnknown* pointer;
        bool errorInfo;  // InterfaceSupportsErrorInfo says S_OK
    };
    // One table answers QueryInterface and InterfaceSupportsErrorInfo alike.
    std::array<Answered, 4> Interfaces();
    void ReadOnce(BSTR ctype);

    const LibraryUse use_;
    // Declared before the connection, so that it outlives it: the control releases the sink
    // when the connection ends.
    const Microsoft::WRL::ComPtr<ReadDataSink> sink_;
    std::unique_ptr<TavrixConnection> connection_;  // made by the first read
    ReadResult last_;
};
