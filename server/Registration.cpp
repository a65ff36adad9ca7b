// Registration: the type library and the class entries, written and removed in the
// order containers and the platform's own tools expect.
#include "Registration.h"

#include <oleauto.h>

#include "ControlFactory.h"
#include "DecimalText.h"
#include "FactoryList.h"
#include "Fault.h"
#include "ServerModule.h"

namespace {

std::wstring GuidText(REFGUID guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

template <typename Function>
Function OleAutomationFunction(const char* name)
{
    HMODULE module = GetModuleHandleW(L"OLEAUT32.DLL");
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// The library path under "InprocServer32": its short form when the path holds a blank.
std::wstring InprocServerPath(const std::wstring& path)
{
    if (path.find(L' ') == std::wstring::npos)
        return path;
    wchar_t shortForm[MAX_PATH];
    const DWORD length = GetShortPathNameW(path.c_str(), shortForm, MAX_PATH);
    // Without a short form the long path stands: quoted paths are not read by every host,
    // but an unquoted long path still names the file.
    return length == 0 || length >= MAX_PATH ? path : std::wstring(shortForm, length);
}

// Whether the class has a server in the other registry view: the other build's registration on
// 64-bit Windows. Where there is no other view the process's own is read, and by then the server
// key there is gone.
bool ServedInTheOtherView(const RegistryRoot& root, const std::wstring& serverKey)
{
    const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root.root, (root.prefix + serverKey).c_str(), 0, KEY_READ | otherView, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

RegistryRoot GetRegRootAndPrefix()
{
    return PerUserRegistration ? RegistryRoot{HKEY_CURRENT_USER, L"Software\\Classes\\"}
                               : RegistryRoot{HKEY_CLASSES_ROOT, L""};
}

void WriteRegEntry(const RegistryRoot& root, const std::wstring& keyPath, const std::wstring& name,
                   const std::wstring& value)
{
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(root.root, (root.prefix + keyPath).c_str(), 0, const_cast<LPWSTR>(L""),
                                  REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        // The terminating null is part of the data: an empty text is one null character.
        status = RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS)
        throw Fault(u"システム レジストリ に書き込めません");
}

void RemoveRegKey(const RegistryRoot& root, const std::wstring& keyPath)
{
    RegDeleteKeyW(root.root, (root.prefix + keyPath).c_str());
}

void ServerModule::UpdateRegistry(bool doRegister)
{
    if (ITypeLib* library = TypeLib()) {
        const std::wstring file = ServerFileName();
        if (doRegister) {
            const std::wstring helpFolder = file.substr(0, file.find_last_of(L'\\') + 1);
            using Register = HRESULT(WINAPI*)(ITypeLib*, LPOLESTR, LPOLESTR);
            Register registerLibrary = PerUserRegistration ? OleAutomationFunction<Register>("RegisterTypeLibForUser")
                                                           : nullptr;
            if (!registerLibrary)
                registerLibrary = &RegisterTypeLib;
            if (FAILED(registerLibrary(library, const_cast<LPOLESTR>(file.c_str()),
                                       const_cast<LPOLESTR>(helpFolder.c_str()))))
                throw Fault(u"タイプ ライブラリを登録できません");
        } else {
            using Unregister = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
            Unregister unregisterLibrary = PerUserRegistration
                                               ? OleAutomationFunction<Unregister>("UnRegisterTypeLibForUser")
                                               : nullptr;
            if (!unregisterLibrary)
                unregisterLibrary = OleAutomationFunction<Unregister>("UnRegisterTypeLib");
            if (unregisterLibrary) {
                TLIBATTR* attr = nullptr;
                if (FAILED(library->GetLibAttr(&attr)))
                    throw Fault(u"タイプ ライブラリの属性を読めません");
                const TLIBATTR copy = *attr;
                library->ReleaseTLibAttr(attr);
                unregisterLibrary(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
            }
        }
    }
    FactoryList::Instance().ForEachOf(this, [doRegister](ControlFactory* factory) {
        if (factory->Instancing != InstancingMode::Internal)
            factory->UpdateRegistry(doRegister);
    });
}

void ControlFactory::UpdateRegistry(bool doRegister)
{
    const RegistryRoot root = GetRegRootAndPrefix();
    const std::wstring classKey = L"CLSID\\" + GuidText(ClassID);
    const std::wstring progId = ProgID();
    const std::wstring file = Owner.ServerFileName();

    if (!doRegister) {
        for (const auto& verb : Verbs)
            RemoveRegKey(root, classKey + L"\\Verb\\" + DecimalText<wchar_t>(verb.first));
        for (const wchar_t* subkey : {L"\\Verb", L"\\Control", L"\\ToolboxBitmap32", L"\\MiscStatus\\1",
                                      L"\\MiscStatus", L"\\TypeLib", L"\\Version"})
            RemoveRegKey(root, classKey + subkey);
        const std::wstring serverKey = classKey + L"\\" + ServerModule::ServerKey;
        if (!progId.empty())
            RemoveRegKey(root, classKey + L"\\ProgID");
        RemoveRegKey(root, serverKey);
        // 64-bit Windows keeps one ProgID key for both registry views: while the other build
        // still serves the class, the ProgID stays for it.
        if (!progId.empty() && !ServedInTheOtherView(root, serverKey)) {
            RemoveRegKey(root, progId + L"\\Clsid");
            RemoveRegKey(root, progId);
        }
        RemoveRegKey(root, classKey);
        return;
    }

    TLIBATTR library{};
    if (ITypeLib* typeLib = Owner.TypeLib()) {
        TLIBATTR* attr = nullptr;
        if (FAILED(typeLib->GetLibAttr(&attr)))
            throw Fault(u"タイプ ライブラリの属性を読めません");
        library = *attr;
        typeLib->ReleaseTLibAttr(attr);
    }
    const std::wstring serverKey = classKey + L"\\" + ServerModule::ServerKey;
    WriteRegEntry(root, classKey, L"", Description);
    WriteRegEntry(root, serverKey, L"", InprocServerPath(file));
    const wchar_t* threadingWords[] = {nullptr, L"Apartment", L"Free", L"Both", L"Neutral"};
    if (const wchar_t* word = threadingWords[static_cast<int>(ThreadingModel)])
        WriteRegEntry(root, serverKey, L"ThreadingModel", word);
    if (!progId.empty()) {
        WriteRegEntry(root, progId, L"", Description);
        WriteRegEntry(root, progId + L"\\Clsid", L"", GuidText(ClassID));
        WriteRegEntry(root, classKey + L"\\ProgID", L"", progId);
    }
    WriteRegEntry(root, classKey + L"\\Version", L"",
                  DecimalText<wchar_t>(library.wMajorVerNum) + L"." + DecimalText<wchar_t>(library.wMinorVerNum));
    WriteRegEntry(root, classKey + L"\\TypeLib", L"", GuidText(library.guid));
    WriteRegEntry(root, classKey + L"\\MiscStatus", L"", L"0");
    WriteRegEntry(root, classKey + L"\\MiscStatus\\1", L"", DecimalText<wchar_t>(MiscStatus));
    WriteRegEntry(root, classKey + L"\\ToolboxBitmap32", L"", file + L"," + DecimalText<wchar_t>(ToolboxBitmapID));
    WriteRegEntry(root, classKey + L"\\Control", L"", L"");
    WriteRegEntry(root, classKey + L"\\Verb", L"", L"");
    for (const auto& verb : Verbs)
        WriteRegEntry(root, classKey + L"\\Verb\\" + DecimalText<wchar_t>(verb.first), L"", verb.second + L",0,2");
}
