#include "CardReader.h"

#include <utility>

#include "Bstr.h"
#include "ErrorReporting.h"
#include "TypeInformation.h"

using Microsoft::WRL::ComPtr;

namespace {

// "A method was called at an unexpected time", which older headers do not name.
constexpr HRESULT IllegalMethodCall = static_cast<HRESULT>(0x8000000E);

// The control serialises the reads of a process: a read started inside another on the same
// thread (from within its event) would wait on itself for ever.
thread_local bool readingOnThisThread = false;

// Clears a flag when the scope ends, whatever ends it.
class Raised {
public:
    explicit Raised(bool& flag) : flag_(flag) { flag_ = true; }
    ~Raised() { flag_ = false; }
    Raised(const Raised&) = delete;
    Raised& operator=(const Raised&) = delete;

private:
    bool& flag_;
};

template <typename T>
T* Checked(T* out)
{
    if (!out)
        throw PlatformFault(E_POINTER, u"A result argument is missing");
    return out;
}

}  // namespace

CardReader::CardReader() : sink_(new ReadDataSink) {}

CardReader::~CardReader() { connection_.reset(); }

std::array<CardReader::Answered, 4> CardReader::Interfaces()
{
    return {{
        {IID_IUnknown, static_cast<ICardReader*>(this), false},
        {IID_IDispatch, static_cast<ICardReader*>(this), false},
        {IID_ICardReader, static_cast<ICardReader*>(this), true},
        {IID_ISupportErrorInfo, static_cast<ISupportErrorInfo*>(this), false},
    }};
}

HRESULT CardReader::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    for (const Answered& row : Interfaces()) {
        if (IsEqualIID(iid, row.iid)) {
            *object = row.pointer;
            row.pointer->AddRef();
            return S_OK;
        }
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT CardReader::InterfaceSupportsErrorInfo(REFIID iid)
{
    for (const Answered& row : Interfaces())
        if (IsEqualIID(iid, row.iid))
            return row.errorInfo ? S_OK : S_FALSE;
    return S_FALSE;
}

HRESULT CardReader::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CardReader::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    return StatusGuard([&] {
        *Checked(info) = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        ComPtr<ITypeInfo> view(CardReaderTypeInfo());
        *info = view.Detach();
        return S_OK;
    });
}

HRESULT CardReader::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return StatusGuard([&] {
        if (!IsEqualIID(iid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        return DispGetIDsOfNames(CardReaderTypeInfo(), names, count, ids);
    });
}

HRESULT CardReader::Invoke(DISPID dispid, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                           EXCEPINFO* exception, UINT* argumentError)
{
    return StatusGuard([&] {
        if (!IsEqualIID(iid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        // The vtable view calls the methods; a failure comes back as DISP_E_EXCEPTION with the
        // thread's error information in exception.
        return DispInvoke(static_cast<ICardReader*>(this), CardReaderVtableTypeInfo(), dispid, flags, parameters,
                          result, exception, argumentError);
    });
}

HRESULT CardReader::Read(BSTR ctype, VARIANT_BOOL* good)
{
    return ReportingGuard([&] {
        // The control calls the sink inside Read_Card, and a host may call back into this
        // object or drop its last reference meanwhile: this object stays alive until the call
        // ends, and the read holds its own references to the control and the sink.
        const ComPtr<ICardReader> keepAlive(this);
        *Checked(good) = VARIANT_FALSE;
        if (readingOnThisThread)
            throw PlatformFault(IllegalMethodCall, u"Read was called inside another read on the same thread");
        try {
            ReadOnce(ctype);
        } catch (const Fault& fault) {
            // No card number outlives a read that failed: a caller that goes on after the
            // error sees a failed read with its reason.
            last_ = ReadResult{u"", 1, fault.message()};
            throw;
        }
        *good = last_.good() ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

void CardReader::ReadOnce(BSTR ctype)
{
    const Raised reading(readingOnThisThread);
    last_ = NoEventResult();
    if (!connection_)
        connection_ = std::make_unique<TavrixConnection>(sink_.Get());
    const ComPtr<ITavrix> control = connection_->control();
    const ComPtr<ReadDataSink> sink = sink_;

    sink->Expect();
    SetErrorInfo(0, nullptr);
    const HRESULT status = control->Read_Card(ctype);
    std::optional<ReadResult> result = sink->Take();
    CheckCall(status, u"Read_Card");
    last_ = result ? std::move(*result) : NoEventResult();
}

HRESULT CardReader::get_CardID(BSTR* value)
{
    return ReportingGuard([&] { *Checked(value) = Bstr(last_.cardId).release(); });
}

HRESULT CardReader::get_ErrorCode(long* value)
{
    return ReportingGuard([&] { *Checked(value) = last_.errorCode; });
}

HRESULT CardReader::get_Message(BSTR* value)
{
    return ReportingGuard([&] { *Checked(value) = Bstr(last_.message).release(); });
}
