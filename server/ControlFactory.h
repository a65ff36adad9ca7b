// The control's class factory, with the class attributes it takes from the type library.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

class ServerModule;

enum class InstancingMode { Internal, SingleInstance, MultiInstance };
enum class ThreadingKind { Single, Apartment, Free, Both, Neutral };

class ControlFactory final : public IClassFactory {
public:
    // Reads the class from the type library and adds the factory to the factory list; a
    // class the type library does not describe fully is a fault.
    explicit ControlFactory(ServerModule& owner);
    ~ControlFactory();
    ControlFactory(const ControlFactory&) = delete;
    ControlFactory& operator=(const ControlFactory&) = delete;

    // IUnknown: AddRef and Release count in the module's FactoryCount; the factory lives
    // until the library unloads.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IClassFactory
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    // Writes (true) or removes (false) the class entries; raises a fault on failure.
    void UpdateRegistry(bool doRegister);
    std::wstring ProgID() const;

    ServerModule& Owner;
    const CLSID ClassID;
    std::wstring ClassName;
    std::wstring Description;
    InstancingMode Instancing = InstancingMode::MultiInstance;
    ThreadingKind ThreadingModel = ThreadingKind::Apartment;
    DWORD MiscStatus = 0;
    int ToolboxBitmapID = 0;
    std::vector<std::pair<LONG, std::wstring>> Verbs;
    IID ErrorIID{};
    IID EventIID{};
    bool ShowErrors = true;
};
