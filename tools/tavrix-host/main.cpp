// tavrix-host: a container for the Tavrix control, to try it without writing one.
//
//   tavrix-host read [ctype]            one read through the control (ctype "EDY" when left
//                                       out); prints On_ReadData as one line of JSON and exits
//                                       0 for a good read, 1 for a failed read, 2 for a fault
//   tavrix-host window [--read ctype] [--screenshot file.png] [--state file] [--exit]
//                                       the control in place in a window, with a read button,
//                                       save and load of its state and a log of its events
//   tavrix-host register [--user]       registers Norvane.ocx beside the program
//   tavrix-host unregister [--user]
//   tavrix-host simulator install [--set-aside] [scenario-file]
//   tavrix-host simulator remove        puts the reader simulator (with a scenario) where the
//                                       control looks for the reader library, or takes it away
//                                       again; never replaces or deletes a library that is not
//                                       the simulator (--set-aside keeps it under another name,
//                                       and remove puts it back)
//   tavrix-host diagnose [--json]       the registered controls, the reader library paths and
//                                       which library each control would use
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ControlHost.h"
#include "Diagnose.h"
#include "SimulatorCommand.h"
#include "WindowHost.h"

using Microsoft::WRL::ComPtr;
namespace fs = std::filesystem;

namespace {

int Usage()
{
    std::fputs("usage: tavrix-host read [ctype]\n"
               "       tavrix-host window [--read ctype] [--screenshot file.png] [--state file] [--exit]\n"
               "       tavrix-host register [--user] | unregister [--user]\n"
               "       tavrix-host simulator install [--set-aside] [scenario-file] | simulator remove\n"
               "       tavrix-host diagnose [--json]\n",
               stderr);
    return 64;
}

int Read(const std::wstring& ctype)
{
    int result = 2;
    try {
        ComPtr<IUnknown> control = CreateControl();
        ComPtr<ITavrix> tavrix;
        if (FAILED(control.As(&tavrix)))
            throw E_NOINTERFACE;
        const ComPtr<EventLog> events = new EventLog([&](const std::string& line, DISPID event, int error) {
            if (event == 211) {
                std::printf("%s\n", line.c_str());
                result = error == 0 ? 0 : 1;
            }
        });
        ConnectEvents(control.Get(), events.Get());
        BSTR argument = SysAllocString(ctype.c_str());
        const HRESULT status = tavrix->Read_Card(argument);
        SysFreeString(argument);
        if (FAILED(status)) {
            std::printf("{\"fault\":\"%s\",\"hresult\":\"0x%08lX\"}\n", FaultDescription(status).c_str(),
                        static_cast<unsigned long>(status));
            result = 2;
        }
        ComPtr<IOleObject> ole;
        if (SUCCEEDED(control.As(&ole)))
            ole->Close(OLECLOSE_NOSAVE);
    } catch (HRESULT status) {
        std::printf("{\"fault\":\"the control cannot be created\",\"hresult\":\"0x%08lX\"}\n",
                    static_cast<unsigned long>(status));
        result = 2;
    }
    return result;
}

int Register(bool doRegister, bool perUser)
{
    const HMODULE server = ServerBesideProgram();
    if (!server) {
        std::fputs("Norvane.ocx is not beside tavrix-host\n", stderr);
        return 2;
    }
    HRESULT status;
    if (perUser) {
        const auto install = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>(
            reinterpret_cast<void*>(GetProcAddress(server, "DllInstall")));
        status = install(doRegister, L"user");
    } else {
        const auto update = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(
            GetProcAddress(server, doRegister ? "DllRegisterServer" : "DllUnregisterServer")));
        status = update();
    }
    std::printf("%s%s: 0x%08lX\n", doRegister ? "register" : "unregister", perUser ? " --user" : "",
                static_cast<unsigned long>(status));
    return SUCCEEDED(status) ? 0 : 2;
}

}  // namespace

int main()
{
    _setmode(_fileno(stdout), _O_BINARY);  // the JSON is UTF-8 as it stands
    int count = 0;
    LPWSTR* raw = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments(raw, raw + count);
    LocalFree(raw);
    if (arguments.size() < 2)
        return Usage();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring& command = arguments[1];
    int result = 64;
    if (command == L"read" && arguments.size() <= 3) {
        result = Read(arguments.size() == 3 ? arguments[2] : L"EDY");
    } else if ((command == L"register" || command == L"unregister") && arguments.size() <= 3 &&
               (arguments.size() == 2 || arguments[2] == L"--user")) {
        result = Register(command == L"register", arguments.size() == 3);
    } else if (command == L"diagnose" && (arguments.size() == 2 || (arguments.size() == 3 && arguments[2] == L"--json"))) {
        result = Diagnose(arguments.size() == 3);
    } else if (command == L"simulator") {
        result = SimulatorCommand(std::vector<std::wstring>(arguments.begin() + 2, arguments.end()));
        if (result < 0)
            result = Usage();
    } else if (command == L"window") {
        WindowOptions options;
        for (size_t i = 2; i < arguments.size(); ++i) {
            if (arguments[i] == L"--read" && i + 1 < arguments.size()) {
                options.read = true;
                options.readCtype = arguments[++i];
            } else if (arguments[i] == L"--screenshot" && i + 1 < arguments.size()) {
                options.screenshot = arguments[++i];
            } else if (arguments[i] == L"--state" && i + 1 < arguments.size()) {
                options.stateFile = arguments[++i];
            } else if (arguments[i] == L"--exit") {
                options.exitWhenDone = true;
            } else {
                return Usage();
            }
        }
        result = RunWindow(options);
    } else {
        result = Usage();
    }
    CoUninitialize();
    return result;
}
