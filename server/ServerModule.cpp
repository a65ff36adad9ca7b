#include "ServerModule.h"

#include <oleauto.h>
#include <shellapi.h>

#include <memory>
#include <new>
#include <vector>

#include "ControlFactory.h"
#include "Fault.h"
#include "FactoryList.h"
#include "HostSwitches.h"
#include "ModuleFileName.h"
#include "ServerInstance.h"
#include "TavrixTypeInfo.h"

bool PerUserRegistration = false;
std::atomic<bool> ServerShutDown{false};

namespace {

ServerModule* module = nullptr;

void PresetFromHostSwitches()
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments)
        return;
    std::vector<std::u16string> texts;
    for (int i = 1; i < count; ++i)
        texts.emplace_back(arguments[i], arguments[i] + wcslen(arguments[i]));
    LocalFree(arguments);
    if (const std::optional<bool> perUser = PerUserRegistrationFromSwitches(texts))
        PerUserRegistration = *perUser;
}

void Start()
{
    // The host learns of a stopped start-up only through the entry points: no class is served.
    module = new (std::nothrow) ServerModule;
    if (!module)
        return;
    try {
        PresetFromHostSwitches();
        new ControlFactory(*module);  // it adds itself to the factory list
        module->Started = true;
    } catch (const Fault& fault) {
        const std::wstring message(fault.message().begin(), fault.message().end());
        OutputDebugStringW(message.c_str());
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

ServerModule* Server()
{
    if (!ServerShutDown) {
        static const bool started = (Start(), true);  // once, whichever thread comes first
        (void)started;
    }
    return module;
}

void ShutDownServer(bool processEnding)
{
    // When the whole process ends, other libraries may be gone already: nothing is
    // released then, the process takes it all.
    if (module && !processEnding) {
        FactoryList::Instance().ForEachOf(module, [](ControlFactory* factory) { delete factory; });
        delete module;
    }
    module = nullptr;
    ServerShutDown = true;
}


ITypeLib* ServerModule::TypeLib() { return TavrixTypeLibrary(); }

std::wstring ServerModule::ServerName()
{
    if (ITypeLib* library = TypeLib()) {
        BSTR name = nullptr;
        if (SUCCEEDED(library->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)) && name) {
            std::wstring text(name, SysStringLen(name));
            SysFreeString(name);
            return text;
        }
    }
    std::wstring file = ServerFileName();
    file = file.substr(file.find_last_of(L'\\') + 1);
    return file.substr(0, file.find_last_of(L'.'));
}

std::wstring ServerModule::ServerFileName() const { return ModuleFileName(ServerInstance); }
