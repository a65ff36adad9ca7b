// The control object: the COM object a container holds for one control. It owns the
// form TTavrix (whose ITavrix shares its identity), answers the OLE control protocols,
// and offers the event and property-notification connection points.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>
#include <objsafe.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <vector>

#include "ConnectionPoint.h"
#include "FaultReporting.h"
#include "TTavrix.h"

class ControlFactory;

class ControlObject final : public IOleObject,
                            public IOleControl,
                            public IOleInPlaceObject,
                            public IOleInPlaceActiveObject,
                            public IViewObject2,
                            public IDataObject,
                            public IQuickActivate,
                            public ISpecifyPropertyPages,
                            public IPerPropertyBrowsing,
                            public ISimpleFrameSite,
                            public IObjectSafety,
                            public IConnectionPointContainer,
                            public ISupportErrorInfo,
                            public IProvideClassInfo,
                            public IPersistStreamInit,
                            public IPersistStorage,
                            public IPersistPropertyBag {
public:
    // The class name that start-up messages give.
    static constexpr const wchar_t* ClassName = L"ControlObject";

    // outer: the controlling object of an aggregate, or null.
    ControlObject(ControlFactory& factory, IUnknown* outer);
    ~ControlObject();
    ControlObject(const ControlObject&) = delete;
    ControlObject& operator=(const ControlObject&) = delete;

    // The inner, non-delegating unknown.
    HRESULT InnerQueryInterface(REFIID iid, void** object);
    ULONG InnerAddRef();
    ULONG InnerRelease();

    // IUnknown of every interface below: the controlling unknown's.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR application, LPCOLESTR object) override;
    HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG message, IOleClientSite* site, LONG index, HWND parent,
                                     LPCRECT position) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
    HRESULT STDMETHODCALLTYPE Update() override;
    HRESULT STDMETHODCALLTYPE IsUpToDate() override;
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* classId) override;
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* userType) override;
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) override;

    // IOleControl
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* message) override;
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID dispid) override;
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

    // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

    // IViewObject, IViewObject2
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                   HDC targetDevice, HDC draw, LPCRECTL bounds, LPCRECTL window,
                                   BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR), ULONG_PTR continueArgument) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                          HDC targetDevice, LOGPALETTE** colors) override;
    HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

    // IDataObject
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** advise) override;

    // IQuickActivate
    HRESULT STDMETHODCALLTYPE QuickActivate(QACONTAINER* container, QACONTROL* control) override;
    HRESULT STDMETHODCALLTYPE SetContentExtent(LPSIZEL size) override;
    HRESULT STDMETHODCALLTYPE GetContentExtent(LPSIZEL size) override;

    // ISpecifyPropertyPages
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

    // IPerPropertyBrowsing
    HRESULT STDMETHODCALLTYPE GetDisplayString(DISPID dispid, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE MapPropertyToPage(DISPID dispid, CLSID* page) override;
    HRESULT STDMETHODCALLTYPE GetPredefinedStrings(DISPID dispid, CALPOLESTR* strings, CADWORD* cookies) override;
    HRESULT STDMETHODCALLTYPE GetPredefinedValue(DISPID dispid, DWORD cookie, VARIANT* value) override;

    // ISimpleFrameSite
    HRESULT STDMETHODCALLTYPE PreMessageFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                               LRESULT* result, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE PostMessageFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                LRESULT* result, DWORD cookie) override;

    // IObjectSafety
    HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override;
    HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // ISupportErrorInfo, IProvideClassInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;

    // IPersist, IPersistStreamInit, IPersistStorage, IPersistPropertyBag
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT STDMETHODCALLTYPE InitNew() override;
    HRESULT STDMETHODCALLTYPE InitNew(IStorage* storage) override;
    HRESULT STDMETHODCALLTYPE Load(IStorage* storage) override;
    HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL sameAsLoad) override;
    HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage* storage) override;
    HRESULT STDMETHODCALLTYPE HandsOffStorage() override;
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

    TTavrix& form() { return *form_; }

private:
    // The control-protocol guard, with the object kept alive for the whole call: the events
    // a call raises run container code that may drop the container's last reference.
    template <typename Body>
    HRESULT Guard(Body&& body) noexcept
    {
        const Microsoft::WRL::ComPtr<IUnknown> keepAlive(controlling_);
        return HandlingGuard(std::forward<Body>(body));
    }

    class Inner final : public IUnknown {
    public:
        explicit Inner(ControlObject& object) : object_(object) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
        {
            return object_.InnerQueryInterface(iid, object);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return object_.InnerAddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return object_.InnerRelease(); }

    private:
        ControlObject& object_;
    };
    class LinkStub;
    class PointsEnumerator;

    // An interface of the object's own; supportsErrorInfo tells whether its calls give error information.
    bool OwnInterface(REFIID iid, void** object, bool* supportsErrorInfo = nullptr);
    IEnumConnectionPoints* NewPointsEnumerator(size_t position);
    void EventSinkChanged(IUnknown* sink);
    void TakeAmbientProperties();
    VARIANT Ambient(DISPID dispid);
    void ShowPropertyPages();
    HRESULT ActivateInPlace(bool uiActivate);
    void HideForm();
    void NotifyViewChange();
    void RecreateControlWindow();
    LRESULT HookMessage(UINT message, WPARAM wParam, LPARAM lParam, const TTavrix::PassOn& passOn);
    bool IsOwnWindow(HWND window) const;
    std::vector<CLSID> PropertyPages();

    ControlFactory& factory_;
    Inner inner_{*this};
    IUnknown* controlling_;  // the outer object, or the inner unknown
    std::atomic<ULONG> references_{0};
    std::unique_ptr<TTavrix> form_;

    // The event point first, then the property-notification point.
    std::vector<std::unique_ptr<ConnectionPoint>> points_;
    Microsoft::WRL::ComPtr<IDispatch> eventSink_;

    Microsoft::WRL::ComPtr<IOleClientSite> clientSite_;
    Microsoft::WRL::ComPtr<IOleControlSite> controlSite_;
    Microsoft::WRL::ComPtr<ISimpleFrameSite> simpleFrameSite_;
    Microsoft::WRL::ComPtr<IDispatch> ambientDispatch_;
    Microsoft::WRL::ComPtr<IOleAdviseHolder> adviseHolder_;
    Microsoft::WRL::ComPtr<IOleInPlaceSite> inPlaceSite_;
    Microsoft::WRL::ComPtr<IOleInPlaceFrame> inPlaceFrame_;
    Microsoft::WRL::ComPtr<IOleInPlaceUIWindow> inPlaceUIWindow_;
    Microsoft::WRL::ComPtr<IDataAdviseHolder> dataAdviseHolder_;
    bool inPlaceActive_ = false, uiActive_ = false;
    Microsoft::WRL::ComPtr<IAdviseSink> viewAdviseSink_;
    DWORD viewAdviseFlags_ = 0;
    DWORD safetyOptions_ = 0;
    bool eventsFrozen_ = false;  // recorded; event delivery does not look at it
    LinkStub* linkStub_ = nullptr;  // holds one reference while set
};
