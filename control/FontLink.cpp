#include "FontLink.h"

#include <atomic>
#include <functional>
#include <string>

#include "Bstr.h"
#include "ComObject.h"
#include "FaultReporting.h"

using Microsoft::WRL::ComPtr;

namespace {

// Sets a flag for the length of a scope.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }

private:
    bool& flag_;
};

}  // namespace

// The link's listener on the font object. The object may hold it past the link's life,
// so it forgets the link when detached.
class FontLink::Sink final : public ComObject<IPropertyNotifySink, &IID_IPropertyNotifySink> {
public:
    explicit Sink(FontLink* link) : link_(link) {}
    void Forget() { link_ = nullptr; }

    HRESULT STDMETHODCALLTYPE OnChanged(DISPID) override
    {
        return HandlingGuard([&] {
            if (link_) {
                const ComPtr<IUnknown> keepAlive(link_->owner_);
                link_->Update();
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID) override { return S_OK; }

private:
    FontLink* link_;
};

FontLink::FontLink(FormFont& font, IUnknown* owner) : font_(font), owner_(owner) {}

FontLink::~FontLink() { Detach(); }

void FontLink::Make()
{
    const std::wstring name(font_.name().begin(), font_.name().end());
    const FontStyle style = font_.style();
    FONTDESC desc{};
    desc.cbSizeofstruct = 32;
    desc.lpstrName = const_cast<LPOLESTR>(name.c_str());
    desc.cySize.int64 = static_cast<LONGLONG>(font_.size()) * 10000;
    desc.sWeight = style.bold ? FW_BOLD : FW_NORMAL;
    desc.sCharset = font_.charset();
    desc.fItalic = style.italic;
    desc.fUnderline = style.underline;
    desc.fStrikethrough = style.strikeOut;
    ComPtr<IFont> object;
    Check(OleCreateFontIndirect(&desc, IID_IFont, reinterpret_cast<void**>(object.GetAddressOf())));
    Attach(object.Get());
}

void FontLink::Attach(IFont* object)
{
    Detach();
    attached_ = object;
    if (!object)
        return;
    ComPtr<IConnectionPointContainer> container;
    if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&container))) &&
        SUCCEEDED(container->FindConnectionPoint(IID_IPropertyNotifySink, &point_))) {
        sink_ = new Sink(this);
        if (FAILED(point_->Advise(sink_.Get(), &cookie_))) {
            sink_->Forget();
            sink_.Reset();
            point_.Reset();
        }
    }
    Update();
}

void FontLink::Detach()
{
    if (point_ && sink_)
        point_->Unadvise(cookie_);
    if (sink_)
        sink_->Forget();
    sink_.Reset();
    point_.Reset();
    cookie_ = 0;
    attached_.Reset();
}

void FontLink::Update()
{
    const ComPtr<IFont> object = attached_;
    if (!object || syncing_)
        return;
    const FlagScope syncing(syncing_);
    Bstr name;
    CY size{};
    BOOL bold = FALSE, italic = FALSE, underline = FALSE, strikeOut = FALSE;
    SHORT charset = 0;
    Check(object->get_Name(name.out()));
    Check(object->get_Size(&size));
    Check(object->get_Bold(&bold));
    Check(object->get_Italic(&italic));
    Check(object->get_Underline(&underline));
    Check(object->get_Strikethrough(&strikeOut));
    Check(object->get_Charset(&charset));
    font_.assign(name.text(), PointsFromCy(size.int64), FontStyle{!!bold, !!italic, !!underline, !!strikeOut},
                 static_cast<uint8_t>(charset));
}

void FontLink::Changed()
{
    const ComPtr<IFont> object = attached_;
    if (!object || syncing_)
        return;
    // The object announces each of these puts; they must not flow back half-done. Every
    // sink of the object hears them, the container's too, whose handler may attach another
    // object: the rest of the puts then stay with the object they began on, or stop.
    const FlagScope syncing(syncing_);
    const Bstr name(font_.name());
    CY size;
    size.int64 = static_cast<LONGLONG>(font_.size()) * 10000;
    const FontStyle style = font_.style();
    const uint8_t charset = font_.charset();
    const std::function<HRESULT()> puts[] = {
        [&] { return object->put_Name(name.get()); },
        [&] { return object->put_Size(size); },
        [&] { return object->put_Bold(style.bold); },
        [&] { return object->put_Italic(style.italic); },
        [&] { return object->put_Underline(style.underline); },
        [&] { return object->put_Strikethrough(style.strikeOut); },
        [&] { return object->put_Charset(charset); },
    };
    for (const auto& put : puts) {
        if (attached_ != object)
            return;
        Check(put());
    }
}
