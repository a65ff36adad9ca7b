#include "Registration.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "CardReader_h.h"
#include "CardReaderNames.h"
#include "ErrorReporting.h"
#include "LibraryState.h"
#include "ModuleFileName.h"
#include "TypeInformation.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring GuidText(REFGUID guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

struct Row {
    std::wstring key;   // below HKEY_CLASSES_ROOT
    std::wstring name;  // empty: the key's default value
    std::wstring value;
};

// Every value the object registers, parents before their subkeys. Unregistering removes the
// keys in the reverse order and leaves any key that holds a subkey of someone else's.
std::vector<Row> Rows(const std::wstring& file)
{
    // Automation's own proxy for dual interfaces, which marshals through the type library.
    const std::wstring universalMarshaler = L"{00020424-0000-0000-C000-000000000046}";
    const std::wstring classKey = L"CLSID\\" + GuidText(CLSID_CardReader);
    const std::wstring interfaceKey = L"Interface\\" + GuidText(IID_ICardReader);
    const std::wstring library = GuidText(LIBID_NorvaneCardReader);
    return {
        {classKey, L"", CardReaderClassName},
        {classKey + L"\\InprocServer32", L"", file},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\ProgID", L"", CardReaderProgId},
        {classKey + L"\\TypeLib", L"", library},
        {classKey + L"\\Version", L"", L"1.0"},
        {CardReaderProgId, L"", CardReaderClassName},
        {std::wstring(CardReaderProgId) + L"\\Clsid", L"", GuidText(CLSID_CardReader)},
        {interfaceKey, L"", CardReaderInterfaceName},
        {interfaceKey + L"\\ProxyStubClsid32", L"", universalMarshaler},
        {interfaceKey + L"\\TypeLib", L"", library},
        {interfaceKey + L"\\TypeLib", L"Version", L"1.0"},
    };
}

void Write(const Row& row)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, row.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                     nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, row.name.empty() ? nullptr : row.name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(row.value.c_str()),
                                static_cast<DWORD>((row.value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS)
        throw PlatformFault(HRESULT_FROM_WIN32(status), u"cannot write the registry");
}

void Register(ITypeLib* library, const std::wstring& file, const std::vector<Row>& rows)
{
    // The help folder as the installer writes it, with its last backslash, which a package cannot
    // take off: given none, RegisterTypeLib writes the folder without one.
    const std::wstring helpFolder = file.substr(0, file.find_last_of(L'\\') + 1);
    const HRESULT status =
        RegisterTypeLib(library, const_cast<LPOLESTR>(file.c_str()), const_cast<LPOLESTR>(helpFolder.c_str()));
    if (FAILED(status))
        throw PlatformFault(status, u"cannot register the type library");
    for (const Row& row : rows)
        Write(row);
}

void Unregister(ITypeLib* library, const std::vector<Row>& rows) noexcept
{
    // The type library's entries are those of this build's system (win32 or win64): another
    // build's registration of the same library stays.
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        const TLIBATTR copy = *attributes;
        library->ReleaseTLibAttr(attributes);
        UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
    }
    // RegDeleteKeyW leaves a key that still has subkeys, and a missing key is no failure.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        RegDeleteKeyW(HKEY_CLASSES_ROOT, row->key.c_str());
}

}  // namespace

HRESULT UpdateRegistration(bool doRegister) noexcept
{
    try {
        const std::wstring file = ModuleFileName(LibraryInstance);
        if (file.empty())
            return E_FAIL;
        // A file whose type library cannot be read changes nothing.
        const ComPtr<ITypeLib> library = LoadOwnTypeLibrary();
        const std::vector<Row> rows = Rows(file);
        if (!doRegister) {
            Unregister(library.Get(), rows);
            return S_OK;
        }
        try {
            Register(library.Get(), file, rows);
        } catch (...) {
            Unregister(library.Get(), rows);
            throw;
        }
        return S_OK;
    } catch (const PlatformFault& fault) {
        return fault.status() < 0 ? fault.status() : E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
}
