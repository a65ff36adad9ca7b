#include "FaultReporting.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <string>

#include "Bstr.h"
#include "ProgId.h"
#include "Tavrix_h.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr HRESULT AbortStatus = static_cast<HRESULT>(0xA0004004);

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// The platform's own wording for a status, or the status in hexadecimal.
std::u16string StatusMessage(HRESULT status)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&text),
                                        0, nullptr);
    std::u16string message;
    if (length && text) {
        message.assign(text, text + length);
        while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' '))
            message.pop_back();
    }
    LocalFree(text);
    if (message.empty()) {
        message = u"OLE error ";
        for (int shift = 28; shift >= 0; shift -= 4)
            message += u"0123456789ABCDEF"[(static_cast<uint32_t>(status) >> shift) & 0xF];
    }
    return message;
}

}  // namespace

HRESULT Check(HRESULT status)
{
    if (FAILED(status))
        throw PlatformFault(status, StatusMessage(status));
    return status;
}

HRESULT DispatchStatus(HRESULT status, EXCEPINFO* exception)
{
    if (SUCCEEDED(status))
        return status;
    if (exception) {
        *exception = EXCEPINFO{};
        exception->scode = status;
        ComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, &info) == S_OK) {
            info->GetSource(&exception->bstrSource);
            info->GetDescription(&exception->bstrDescription);
            info->GetHelpFile(&exception->bstrHelpFile);
            info->GetHelpContext(&exception->dwHelpContext);
        }
    }
    return DISP_E_EXCEPTION;
}

HRESULT ReportFault(std::exception_ptr fault)
{
    std::u16string description;
    DWORD helpContext = static_cast<DWORD>(-1);
    HRESULT status = S_OK;  // none yet
    try {
        std::rethrow_exception(fault);
    } catch (const AbortFault& abort) {
        description = abort.message();
        helpContext = abort.helpContext();
        status = AbortStatus;
    } catch (const PlatformFault& platform) {
        description = platform.message();
        helpContext = platform.helpContext();
        if (platform.status() < 0)
            status = platform.status();
    } catch (const Fault& ordinary) {
        description = ordinary.message();
        helpContext = ordinary.helpContext();
    } catch (...) {
        // A foreign exception carries neither message nor help context.
    }

    ComPtr<ICreateErrorInfo> info;
    if (FAILED(CreateErrorInfo(&info)))
        return E_UNEXPECTED;
    info->SetGUID(IID_ITavrix);
    info->SetSource(const_cast<LPOLESTR>(TavrixProgId));
    if (!description.empty())
        info->SetDescription(const_cast<LPOLESTR>(Wide(description).c_str()));
    if (helpContext != 0)
        info->SetHelpContext(helpContext);
    ComPtr<IErrorInfo> errorInfo;
    if (SUCCEEDED(info.As(&errorInfo)))
        SetErrorInfo(0, errorInfo.Get());
    return status != S_OK ? status : E_UNEXPECTED;
}

HRESULT HandleFault(std::exception_ptr fault)
{
    try {
        std::rethrow_exception(fault);
    } catch (const PlatformFault& platform) {
        if (platform.status() < 0)
            return platform.status();
    } catch (...) {
    }
    return E_UNEXPECTED;
}

void ShowFault(std::exception_ptr fault)
{
    std::u16string message;
    try {
        std::rethrow_exception(fault);
    } catch (const Fault& known) {
        message = known.message();
    } catch (...) {
    }
    MessageBoxW(GetActiveWindow(), Wide(FaultBoxText(message)).c_str(), L"Tavrix", MB_ICONERROR | MB_OK);
}
