// tavrix-host: a container for the Tavrix control, to try it without writing one.
//
//   tavrix-host read [ctype] [--count N]
//                                       one read through the control (ctype "EDY" when left
//                                       out), or N in one process; prints each On_ReadData as a
//                                       line of JSON and exits 0 when every read was good, 1 for
//                                       a failed read, 2 for a fault
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
//   tavrix-host trace install [--level 1|2] [--file PATH]
//   tavrix-host trace remove            puts the tracing reader library in place of the library the
//                                       control would load, which it traces into the file (or
//                                       changes its level and file when it is in place); remove
//                                       puts back the library it stood in for
//   tavrix-host trace show TRACE        a trace as a table, one read a block
//   tavrix-host scenario from-trace TRACE
//                                       a level-2 trace as a scenario the simulator replays
//   tavrix-host diagnose [--json]       the registered controls, the reader library paths and
//                                       which library each control would use
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ControlHost.h"
#include "Diagnose.h"
#include "SimulatorCommand.h"
#include "TraceCommand.h"
#include "WindowHost.h"

using Microsoft::WRL::ComPtr;
namespace fs = std::filesystem;

namespace {

int Usage()
{
    std::fputs("usage: tavrix-host read [ctype] [--count N]\n"
               "       tavrix-host window [--read ctype] [--screenshot file.png] [--state file] [--exit]\n"
               "       tavrix-host register [--user] | unregister [--user]\n"
               "       tavrix-host simulator install [--set-aside] [scenario-file] | simulator remove\n"
               "       tavrix-host trace install [--level 1|2] [--file PATH] | trace remove | trace show TRACE\n"
               "       tavrix-host scenario from-trace TRACE\n"
               "       tavrix-host diagnose [--json]\n",
               stderr);
    return 64;
}

int ReadOnce(const std::wstring& ctype)
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

// Reads count times in this one process, as a kiosk does between restarts: the library stays
// loaded and a scenario with steps goes through them. The worst outcome gives the exit status.
int Read(const std::wstring& ctype, int count)
{
    int worst = 0;
    for (int i = 0; i < count; ++i)
        worst = std::max(worst, ReadOnce(ctype));
    return worst;
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
    if (command == L"read") {
        std::wstring ctype = L"EDY";
        int count = 1;
        for (size_t i = 2; i < arguments.size(); ++i) {
            if (arguments[i] == L"--count" && i + 1 < arguments.size()) {
                count = _wtoi(arguments[++i].c_str());
                if (count < 1 || count > 10000)
                    return Usage();
            } else if (i == 2) {
                ctype = arguments[i];
            } else {
                return Usage();
            }
        }
        result = Read(ctype, count);
    } else if ((command == L"register" || command == L"unregister") && arguments.size() <= 3 &&
               (arguments.size() == 2 || arguments[2] == L"--user")) {
        result = Register(command == L"register", arguments.size() == 3);
    } else if (command == L"diagnose" && (arguments.size() == 2 || (arguments.size() == 3 && arguments[2] == L"--json"))) {
        result = Diagnose(arguments.size() == 3);
    } else if (command == L"simulator") {
        result = SimulatorCommand(std::vector<std::wstring>(arguments.begin() + 2, arguments.end()));
        if (result < 0)
            result = Usage();
    } else if (command == L"trace" || command == L"scenario") {
        const std::vector<std::wstring> rest(arguments.begin() + 2, arguments.end());
        result = command == L"trace" ? TraceCommand(rest) : ScenarioCommand(rest);
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
