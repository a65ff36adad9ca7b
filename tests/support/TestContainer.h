// A container of our own for in-place tests: a visible frame window and the site, frame and
// UI window objects a control asks for, logging every call in order (tests only).
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "TestSite.h"

using CallLog = std::vector<std::string>;

// The frame (or, with isFrame false, the document's UI window).
class TestFrame final : public ComObject<IOleInPlaceFrame, &IID_IOleInPlaceFrame> {
public:
    TestFrame(CallLog& log, HWND window, const char* name) : log_(log), window_(window), name_(name) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (ComObject::QueryInterface(iid, object) == S_OK || Answer(iid, IID_IOleWindow, object) ||
            Answer(iid, IID_IOleInPlaceUIWindow, object))
            return S_OK;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        *window = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override
    {
        log_.push_back(name_ + ".SetBorderSpace");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override
    {
        log_.push_back(name_ + (object ? ".SetActiveObject" : ".SetActiveObject(null)"));
        active = object;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    IOleInPlaceActiveObject* active = nullptr;

private:
    CallLog& log_;
    HWND window_;
    std::string name_;
};

// The control's site: client site, control site and ambients from TestSite, plus the
// in-place site and, when asked for, the simple frame site.
class InPlaceTestSite final : public ComObject<IOleInPlaceSite, &IID_IOleInPlaceSite>, public ISimpleFrameSite {
public:
    InPlaceTestSite(CallLog& log, HWND window) : base_(new TestSite), log_(log), window_(window)
    {
        base_->moreInterfaces = [this](REFIID iid, void** object) {
            if (IsEqualIID(iid, IID_IOleInPlaceSite) || IsEqualIID(iid, IID_IOleWindow) ||
                (IsEqualIID(iid, IID_ISimpleFrameSite) && offersSimpleFrameSite)) {
                QueryInterface(iid, object);
                return true;
            }
            return false;
        };
    }
    ~InPlaceTestSite() { base_->moreInterfaces = nullptr; }

    RECT position{20, 30, 120, 80};
    RECT clip{0, 0, 400, 300};
    bool givesFrame = true, givesUIWindow = true, offersSimpleFrameSite = false;
    UINT droppedMessage = 0;  // PreMessageFilter answers S_FALSE for it
    std::vector<UINT> filtered;
    TestFrame* frame = nullptr;
    TestFrame* uiWindow = nullptr;
    Microsoft::WRL::ComPtr<TestSite> base_;  // IOleClientSite, IOleControlSite, ambients

    // The site as the control is given it.
    IOleClientSite* ClientSite() { return base_.Get(); }

    // Its own interfaces; everything else, IUnknown too, is the client site's.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (Answer(iid, IID_IOleInPlaceSite, object) || Answer(iid, IID_IOleWindow, object))
            return S_OK;
        if (IsEqualIID(iid, IID_ISimpleFrameSite) && offersSimpleFrameSite) {
            *object = static_cast<ISimpleFrameSite*>(this);
            AddRef();
            return S_OK;
        }
        return base_->QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ComObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return ComObject::Release(); }

    // IOleWindow, IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        log_.push_back("site.GetWindow");
        *window = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override
    {
        log_.push_back("site.CanInPlaceActivate");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override
    {
        log_.push_back("site.OnInPlaceActivate");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override
    {
        log_.push_back("site.OnUIActivate");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frameOut, IOleInPlaceUIWindow** uiOut,
                                               LPRECT positionOut, LPRECT clipOut, LPOLEINPLACEFRAMEINFO info) override
    {
        log_.push_back("site.GetWindowContext cb " + std::to_string(info ? info->cb : 0));
        *frameOut = nullptr;
        *uiOut = nullptr;
        if (givesFrame) {
            frame = new TestFrame(log_, window_, "frame");
            frame->AddRef();
            *frameOut = frame;
        }
        if (givesUIWindow) {
            uiWindow = new TestFrame(log_, window_, "uiWindow");
            uiWindow->AddRef();
            *uiOut = uiWindow;
        }
        *positionOut = position;
        *clipOut = clip;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override
    {
        log_.push_back("site.OnUIDeactivate");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override
    {
        log_.push_back("site.OnInPlaceDeactivate");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // ISimpleFrameSite
    HRESULT STDMETHODCALLTYPE PreMessageFilter(HWND, UINT message, WPARAM, LPARAM, LRESULT*, DWORD*) override
    {
        filtered.push_back(message);
        return message == droppedMessage ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD) override { return S_OK; }

    std::atomic<ULONG> references{0};

private:
    CallLog& log_;
    HWND window_;
};
