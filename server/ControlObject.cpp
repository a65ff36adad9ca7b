// The control object: creation and destruction, identity and the small protocols.
#include "ControlObject.h"

#include <olectl.h>

#include <new>

#include "ComObject.h"
#include "ControlFactory.h"
#include "EventSinkRelay.h"
#include "FaultReporting.h"
#include "ParkingWindow.h"
#include "ServerModule.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD SafeForUntrusted = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

}  // namespace

// Stands in for IOleLink, which the control does not implement: some containers insist on
// a pointer even when the query fails. Cut off from the control object when it goes.
class ControlObject::LinkStub final : public ComObject<IOleLink, &IID_IOleLink> {
public:
    explicit LinkStub(ControlObject* object) : object_(object) {}
    void CutOff() { object_ = nullptr; }

    // Queries pass to the control object while there is one.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override
    {
        return object_ ? object_->QueryInterface(iid, result) : ComObject::QueryInterface(iid, result);
    }
    HRESULT STDMETHODCALLTYPE SetUpdateOptions(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUpdateOptions(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSourceMoniker(IMoniker*, REFCLSID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourceMoniker(IMoniker** moniker) override
    {
        if (moniker)
            *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetSourceDisplayName(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourceDisplayName(LPOLESTR* name) override
    {
        if (name)
            *name = nullptr;
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE BindToSource(DWORD, IBindCtx*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindIfRunning() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBoundSource(IUnknown** source) override
    {
        if (source)
            *source = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnbindSource() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update(IBindCtx*) override { return E_NOTIMPL; }

private:
    ControlObject* object_;
};

// Walks the control object's connection points. Its references are counted on the control
// object too, so that the object outlives it; it goes when its own last one does.
class ControlObject::PointsEnumerator final : public IEnumConnectionPoints {
public:
    PointsEnumerator(ControlObject& object, size_t position) : object_(object), position_(position) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override
    {
        if (!result)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumConnectionPoints)) {
            *result = static_cast<IEnumConnectionPoints*>(this);
            AddRef();
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        ++references_;
        return object_.AddRef();
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ControlObject& object = object_;
        if (--references_ == 0)
            delete this;
        return object.Release();
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override
    {
        if (!points && count > 0)
            return E_POINTER;
        ULONG handed = 0;
        for (; handed < count && position_ < object_.points_.size(); ++handed, ++position_) {
            points[handed] = object_.points_[position_].get();
            points[handed]->AddRef();
        }
        if (fetched)
            *fetched = handed;
        return handed == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        const size_t left = object_.points_.size() - position_;
        position_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** clone) override
    {
        if (!clone)
            return E_POINTER;
        *clone = nullptr;
        return HandlingGuard([&] {
            *clone = object_.NewPointsEnumerator(position_);
            return S_OK;
        });
    }

private:
    ControlObject& object_;
    std::atomic<ULONG> references_{0};
    size_t position_;
};

IEnumConnectionPoints* ControlObject::NewPointsEnumerator(size_t position)
{
    Microsoft::WRL::ComPtr<IEnumConnectionPoints> made = new PointsEnumerator(*this, position);
    return made.Detach();
}

ControlObject::ControlObject(ControlFactory& factory, IUnknown* outer)
    : factory_(factory), controlling_(outer ? outer : &inner_)
{
    ++factory_.Owner.ObjectCount;
    try {
        if (!IsEqualGUID(factory_.EventIID, GUID_NULL))
            points_.push_back(std::make_unique<ConnectionPoint>(
                controlling_, this, factory_.EventIID, true, [this](IUnknown* sink) { EventSinkChanged(sink); }));
        points_.push_back(std::make_unique<ConnectionPoint>(controlling_, this, IID_IPropertyNotifySink, false,
                                                            nullptr));
        form_ = std::make_unique<TTavrix>(controlling_, ParkingWindow);
        form_->SetMessageHook([this](UINT message, WPARAM wParam, LPARAM lParam, const TTavrix::PassOn& passOn) {
            return HookMessage(message, wParam, lParam, passOn);
        });
        form_->Initialize();
    } catch (...) {
        --factory_.Owner.ObjectCount;
        throw;
    }
}

ControlObject::~ControlObject()
{
    // OnDestroy's handler may call back (a query, the extent, Unadvise): it runs while the
    // object is still whole.
    form_->RunDestroyNotification();
    form_->SetMessageHook(nullptr);  // the form's window procedure is its own again
    form_.reset();
    points_.clear();  // sinks still connected are released without the sink-change step
    eventSink_.Reset();
    if (linkStub_) {
        linkStub_->CutOff();
        linkStub_->Release();
    }
    if (!ServerShutDown)
        --factory_.Owner.ObjectCount;
}

// Identity

HRESULT ControlObject::InnerQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) {
        *object = &inner_;
        InnerAddRef();
        return S_OK;
    }
    // The form answers ITavrix (and its IDispatch), sharing this object's identity.
    if (IsEqualIID(iid, IID_ITavrix) || IsEqualIID(iid, IID_IDispatch)) {
        *object = static_cast<ITavrix*>(form_.get());
        controlling_->AddRef();
        return S_OK;
    }
    if (IsEqualIID(iid, IID_ISimpleFrameSite) && !(factory_.MiscStatus & OLEMISC_SIMPLEFRAME))
        return E_NOINTERFACE;
    if (OwnInterface(iid, object)) {
        controlling_->AddRef();
        return S_OK;
    }
    if (IsEqualIID(iid, IID_IOleLink)) {
        // Handed out, yet the answer stays E_NOINTERFACE.
        if (!linkStub_) {
            linkStub_ = new (std::nothrow) LinkStub(this);
            if (!linkStub_)
                return E_NOINTERFACE;
            linkStub_->AddRef();
        }
        *object = static_cast<IOleLink*>(linkStub_);
        linkStub_->AddRef();
    }
    return E_NOINTERFACE;
}

bool ControlObject::OwnInterface(REFIID iid, void** object, bool* supportsErrorInfo)
{
    // IOleWindow and IPersist are not in the control's own table, yet COM expects the base
    // of an interface the object answers to be answered too; they carry no error information.
    const struct {
        const IID& iid;
        void* pointer;
        bool errorInfo;
    } own[] = {
        {IID_ISupportErrorInfo, static_cast<ISupportErrorInfo*>(this), true},
        {IID_IProvideClassInfo, static_cast<IProvideClassInfo*>(this), true},
        {IID_IOleObject, static_cast<IOleObject*>(this), true},
        {IID_IOleControl, static_cast<IOleControl*>(this), true},
        {IID_IOleWindow, static_cast<IOleInPlaceObject*>(this), false},
        {IID_IOleInPlaceObject, static_cast<IOleInPlaceObject*>(this), true},
        {IID_IOleInPlaceActiveObject, static_cast<IOleInPlaceActiveObject*>(this), true},
        {IID_IViewObject, static_cast<IViewObject*>(this), true},
        {IID_IViewObject2, static_cast<IViewObject2*>(this), true},
        {IID_IDataObject, static_cast<IDataObject*>(this), true},
        {IID_IQuickActivate, static_cast<IQuickActivate*>(this), true},
        {IID_ISpecifyPropertyPages, static_cast<ISpecifyPropertyPages*>(this), true},
        {IID_IPerPropertyBrowsing, static_cast<IPerPropertyBrowsing*>(this), true},
        {IID_ISimpleFrameSite, static_cast<ISimpleFrameSite*>(this), true},
        {IID_IObjectSafety, static_cast<IObjectSafety*>(this), true},
        {IID_IConnectionPointContainer, static_cast<IConnectionPointContainer*>(this), true},
        {IID_IPersist, static_cast<IPersistStreamInit*>(this), false},
        {IID_IPersistStreamInit, static_cast<IPersistStreamInit*>(this), true},
        {IID_IPersistStorage, static_cast<IPersistStorage*>(this), true},
        {IID_IPersistPropertyBag, static_cast<IPersistPropertyBag*>(this), true},
    };
    for (const auto& entry : own) {
        if (IsEqualIID(iid, entry.iid)) {
            if (object)
                *object = entry.pointer;
            if (supportsErrorInfo)
                *supportsErrorInfo = entry.errorInfo;
            return true;
        }
    }
    return false;
}

ULONG ControlObject::InnerAddRef() { return ++references_; }

ULONG ControlObject::InnerRelease()
{
    const ULONG left = --references_;
    if (left == 0) {
        references_ = 1;  // the form's last events may take and drop references
        delete this;
    }
    return left;
}

HRESULT STDMETHODCALLTYPE ControlObject::QueryInterface(REFIID iid, void** object)
{
    return controlling_->QueryInterface(iid, object);
}
ULONG STDMETHODCALLTYPE ControlObject::AddRef() { return controlling_->AddRef(); }
ULONG STDMETHODCALLTYPE ControlObject::Release() { return controlling_->Release(); }

// ISupportErrorInfo, IProvideClassInfo

HRESULT STDMETHODCALLTYPE ControlObject::InterfaceSupportsErrorInfo(REFIID iid)
{
    bool listed = false;
    return IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || (OwnInterface(iid, nullptr, &listed) && listed)
               ? S_OK
               : S_FALSE;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetClassInfo(ITypeInfo** info)
{
    return Guard([&]() -> HRESULT {
        if (!info)
            return E_POINTER;
        *info = nullptr;
        ITypeLib* library = factory_.Owner.TypeLib();
        return library ? library->GetTypeInfoOfGuid(factory_.ClassID, info) : E_UNEXPECTED;
    });
}

// Events: the connection point's sink-change step

void ControlObject::EventSinkChanged(IUnknown* sink)
{
    if (!sink) {
        eventSink_.Reset();
        form_->SinkChanged(nullptr);
        return;
    }
    ComPtr<IDispatch> events;
    Check(sink->QueryInterface(factory_.EventIID, reinterpret_cast<void**>(events.GetAddressOf())));
    eventSink_ = events;
    const ComPtr<EventSinkRelay> relay = new EventSinkRelay(sink, factory_.EventIID);
    form_->SinkChanged(relay.Get());
}

// IConnectionPointContainer

HRESULT STDMETHODCALLTYPE ControlObject::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    if (!points)
        return E_POINTER;
    *points = nullptr;
    return HandlingGuard([&] {
        *points = NewPointsEnumerator(0);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    for (const auto& candidate : points_) {
        if (IsEqualIID(candidate->iid(), iid)) {
            *point = candidate.get();
            (*point)->AddRef();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

// ISpecifyPropertyPages, IPerPropertyBrowsing

std::vector<CLSID> ControlObject::PropertyPages() { return form_->PropertyPages(); }

HRESULT STDMETHODCALLTYPE ControlObject::GetPages(CAUUID* pages)
{
    return Guard([&]() -> HRESULT {
        if (!pages)
            return E_POINTER;
        const std::vector<CLSID> found = PropertyPages();
        pages->cElems = 0;
        pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(found.size() * sizeof(GUID)));
        if (!pages->pElems && !found.empty())
            return E_OUTOFMEMORY;
        for (size_t i = 0; i < found.size(); ++i)
            pages->pElems[i] = found[i];
        pages->cElems = static_cast<ULONG>(found.size());
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetDisplayString(DISPID, BSTR* text)
{
    if (text)
        *text = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlObject::MapPropertyToPage(DISPID, CLSID* page)
{
    if (page)
        *page = GUID_NULL;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetPredefinedStrings(DISPID, CALPOLESTR* strings, CADWORD* cookies)
{
    if (!strings || !cookies)
        return E_POINTER;
    *strings = CALPOLESTR{0, nullptr};
    *cookies = CADWORD{0, nullptr};
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetPredefinedValue(DISPID, DWORD, VARIANT* value)
{
    if (!value)
        return E_POINTER;
    VariantInit(value);
    return S_OK;
}

// ISimpleFrameSite: passed to the container's own

HRESULT STDMETHODCALLTYPE ControlObject::PreMessageFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                          LRESULT* result, DWORD* cookie)
{
    const ComPtr<ISimpleFrameSite> site = simpleFrameSite_;
    return site ? site->PreMessageFilter(window, message, wParam, lParam, result, cookie) : S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::PostMessageFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                           LRESULT* result, DWORD cookie)
{
    const ComPtr<ISimpleFrameSite> site = simpleFrameSite_;
    return site ? site->PostMessageFilter(window, message, wParam, lParam, result, cookie) : S_OK;
}

// IObjectSafety

HRESULT STDMETHODCALLTYPE ControlObject::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled)
{
    if (!supported || !enabled)
        return E_POINTER;
    ComPtr<IUnknown> answer;
    const HRESULT query = QueryInterface(iid, reinterpret_cast<void**>(answer.GetAddressOf()));
    if (FAILED(query)) {
        *supported = *enabled = 0;
        return query;
    }
    *supported = SafeForUntrusted;
    *enabled = safetyOptions_ & SafeForUntrusted;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled)
{
    ComPtr<IUnknown> answer;
    const HRESULT query = QueryInterface(iid, reinterpret_cast<void**>(answer.GetAddressOf()));
    if (FAILED(query))
        return query;
    safetyOptions_ = mask & enabled;
    return S_OK;
}
