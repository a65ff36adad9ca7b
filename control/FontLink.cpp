#include "FontLink.h"

#include <atomic>
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
            if (link_)
                link_->Update();
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID) override { return S_OK; }

private:
    FontLink* link_;
};

FontLink::FontLink(FormFont& font) : font_(font) {}

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
    if (!attached_ || syncing_)
        return;
    const FlagScope syncing(syncing_);
    Bstr name;
    CY size{};
    BOOL bold = FALSE, italic = FALSE, underline = FALSE, strikeOut = FALSE;
    SHORT charset = 0;
    Check(attached_->get_Name(name.out()));
    Check(attached_->get_Size(&size));
    Check(attached_->get_Bold(&bold));
    Check(attached_->get_Italic(&italic));
    Check(attached_->get_Underline(&underline));
    Check(attached_->get_Strikethrough(&strikeOut));
    Check(attached_->get_Charset(&charset));
    font_.assign(name.text(), PointsFromCy(size.int64), FontStyle{!!bold, !!italic, !!underline, !!strikeOut},
                 static_cast<uint8_t>(charset));
}

void FontLink::Changed()
{
    if (!attached_ || syncing_)
        return;
    // The object announces each of these puts; they must not flow back half-done.
    const FlagScope syncing(syncing_);
    const Bstr name(font_.name());
    CY size;
    size.int64 = static_cast<LONGLONG>(font_.size()) * 10000;
    const FontStyle style = font_.style();
    Check(attached_->put_Name(name.get()));
    Check(attached_->put_Size(size));
    Check(attached_->put_Bold(style.bold));
    Check(attached_->put_Italic(style.italic));
    Check(attached_->put_Underline(style.underline));
    Check(attached_->put_Strikethrough(style.strikeOut));
    Check(attached_->put_Charset(font_.charset()));
}
