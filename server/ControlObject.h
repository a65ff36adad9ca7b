// The control object: the COM object a container holds for one control. It owns the
// form TTavrix, whose ITavrix shares its identity, and counts itself in ObjectCount.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "TTavrix.h"

class ControlFactory;

class ControlObject final {
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

    IUnknown* Controlling() const { return controlling_; }

private:
    // The inner unknown as a COM interface.
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

    ControlFactory& factory_;
    Inner inner_{*this};
    IUnknown* controlling_;  // the outer object, or the inner unknown
    std::atomic<ULONG> references_{0};
    std::unique_ptr<TTavrix> form_;
};
