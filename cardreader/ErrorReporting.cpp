#include "ErrorReporting.h"

#include <new>
#include <utility>

#include "Bstr.h"
#include "CardReader_h.h"
#include "CardReaderNames.h"

using Microsoft::WRL::ComPtr;

namespace {

std::u16string Description(IErrorInfo* info)
{
    Bstr text;
    if (info && SUCCEEDED(info->GetDescription(text.out())))
        return text.text();
    return std::u16string();
}

std::u16string Hexadecimal(HRESULT status)
{
    std::u16string text = u"0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += u"0123456789ABCDEF"[(static_cast<uint32_t>(status) >> shift) & 0xF];
    return text;
}

}  // namespace

ForwardedFault::ForwardedFault(HRESULT status, ComPtr<IErrorInfo> info)
    : PlatformFault(status, Description(info.Get())), info_(std::move(info))
{
}

std::u16string StatusText(HRESULT status)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&text),
                                        0, nullptr);
    std::u16string message;
    if (length && text)
        message.assign(text, text + length);
    LocalFree(text);
    while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' ' ||
                                message.back() == u'.'))
        message.pop_back();
    return message.empty() ? Hexadecimal(status) : message + u" (" + Hexadecimal(status) + u")";
}

void CheckCall(HRESULT status, const std::u16string& call)
{
    if (SUCCEEDED(status))
        return;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK && info)
        throw ForwardedFault(status, std::move(info));
    throw PlatformFault(status, call + u" failed: " + StatusText(status));
}

HRESULT ReportFault(std::exception_ptr fault) noexcept
{
    std::u16string description;
    HRESULT status = E_UNEXPECTED;
    try {
        try {
            std::rethrow_exception(fault);
        } catch (const ForwardedFault& forwarded) {
            SetErrorInfo(0, forwarded.info().Get());
            return forwarded.status();
        } catch (const PlatformFault& platform) {
            description = platform.message();
            if (platform.status() < 0)
                status = platform.status();
        } catch (const Fault& ordinary) {
            description = ordinary.message();
            status = E_FAIL;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;  // no memory for error information either
        } catch (...) {
            description = u"Unexpected failure in the card reader";
        }
        ComPtr<ICreateErrorInfo> info;
        ComPtr<IErrorInfo> errorInfo;
        if (FAILED(CreateErrorInfo(&info)) || FAILED(info.As(&errorInfo)))
            return status;
        info->SetGUID(IID_ICardReader);
        info->SetSource(const_cast<LPOLESTR>(CardReaderProgId));
        const std::wstring text(description.begin(), description.end());
        info->SetDescription(const_cast<LPOLESTR>(text.c_str()));
        SetErrorInfo(0, errorInfo.Get());
    } catch (...) {
        // Forming the description ran out of memory: the status alone goes back.
    }
    return status;
}
