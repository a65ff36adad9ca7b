// The control object's IPersistStreamInit and IPersistStorage: the form's property stream
// in a container's stream, or in the stream "CONTROLSAVESTREAM" of its storage.
#include "ControlFactory.h"
#include "ControlObject.h"
#include "DiscardsErrorInfo.h"
#include "DisplayResolution.h"
#include "FaultReporting.h"
#include "StoredForm.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t StorageStreamName[] = L"CONTROLSAVESTREAM";

class StreamSink final : public ByteSink {
public:
    explicit StreamSink(IStream* stream) : stream_(stream) {}
    void Write(const uint8_t* bytes, size_t count) override
    {
        ULONG written = 0;
        Check(stream_->Write(bytes, static_cast<ULONG>(count), &written));
        if (written < count)
            throw Fault(u"The stream took fewer bytes than it was given");
    }

private:
    IStream* stream_;
};

class StreamSource final : public ByteSource {
public:
    explicit StreamSource(IStream* stream) : stream_(stream) {}
    size_t Read(uint8_t* bytes, size_t count) override
    {
        ULONG read = 0;
        const HRESULT result = stream_->Read(bytes, static_cast<ULONG>(count), &read);
        failed_ = FAILED(result);
        Check(result);
        return read;
    }
    // The reader asks for more only once its buffer is used up, and a failed read adds
    // nothing to it: the buffer it reports unconsumed then never came from the stream.
    bool Failed() const { return failed_; }

private:
    IStream* stream_;
    bool failed_ = false;
};

// Short and long 8-bit strings are in the system's ANSI code page.
std::u16string FromAnsi(const std::string& bytes)
{
    if (bytes.empty())
        return std::u16string();
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string text(static_cast<size_t>(length), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                        reinterpret_cast<wchar_t*>(text.data()), length);
    return text;
}

void SaveForm(TTavrix& form, IStream* stream)
{
    StreamSink sink(stream);
    PropertyWriter writer(sink);
    // A save uses the screen's resolution only as what an unscaled form reports, so the form's
    // reported resolution serves; the form asks the screen (a device context) only then.
    WriteFormStream(StoredForm(&form, form.state(), form.EffectivePixelsPerInch(), form.TextHeight()), writer);
    writer.Flush();
}

void LoadForm(TTavrix& form, IStream* stream)
{
    const DiscardsErrorInfo discarded;
    StreamSource source(stream);
    PropertyReader reader(source, FromAnsi);
    // Whatever happens, the stream is left just after the last byte the reader used.
    const auto moveBack = [&] {
        LARGE_INTEGER back;
        back.QuadPart = source.Failed() ? 0 : -static_cast<LONGLONG>(reader.Unconsumed());
        if (back.QuadPart != 0)
            stream->Seek(back, STREAM_SEEK_CUR, nullptr);
    };
    // Read into a copy of the form's state, which the form then applies in one go: also
    // after a failure, when the records before it count.
    StoredForm loading(&form, form.state(), ScreenPixelsPerInch());
    try {
        ReadFormStream(reader, loading);
        loading.FinishLoad();
    } catch (...) {
        moveBack();
        form.ApplyLoaded(loading.state);
        throw;
    }
    moveBack();
    form.ApplyLoaded(loading.state);
}

}  // namespace

HRESULT STDMETHODCALLTYPE ControlObject::GetClassID(CLSID* classId)
{
    if (!classId)
        return E_POINTER;
    *classId = factory_.ClassID;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::IsDirty() { return S_FALSE; }  // the control keeps no unsaved state

HRESULT STDMETHODCALLTYPE ControlObject::Load(IStream* stream)
{
    return Guard([&]() -> HRESULT {
        if (!stream)
            return E_POINTER;
        LoadForm(*form_, stream);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::Save(IStream* stream, BOOL)
{
    return Guard([&]() -> HRESULT {
        if (!stream)
            return E_POINTER;
        SaveForm(*form_, stream);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::InitNew() { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::InitNew(IStorage*) { return S_OK; }

HRESULT STDMETHODCALLTYPE ControlObject::Load(IStorage* storage)
{
    return Guard([&]() -> HRESULT {
        if (!storage)
            return E_POINTER;
        ComPtr<IStream> stream;
        Check(storage->OpenStream(StorageStreamName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream));
        LoadForm(*form_, stream.Get());
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::Save(IStorage* storage, BOOL)
{
    return Guard([&]() -> HRESULT {
        if (!storage)
            return E_POINTER;
        ComPtr<IStream> stream;
        Check(storage->CreateStream(StorageStreamName, STGM_WRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0,
                                    &stream));
        SaveForm(*form_, stream.Get());
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::SaveCompleted(IStorage*) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::HandsOffStorage() { return S_OK; }
