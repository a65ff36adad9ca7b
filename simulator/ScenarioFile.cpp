#include "ScenarioFile.h"

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "Scenario.h"

void LoadScenarioBesideModule(std::vector<SimScript>& steps)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&LoadScenarioBesideModule), &module))
        return;
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return;
    std::wstring file(path, length);
    file = file.substr(0, file.find_last_of(L'\\') + 1) + ScenarioFileName;
    std::ifstream in(file.c_str());
    if (!in)
        return;
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    if (!ParseScenario(text.str(), steps, error))
        OutputDebugStringA(("reader simulator: scenario not understood, " + error + "\n").c_str());
}
