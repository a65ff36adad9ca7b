// Registration through the platform's own tools (regsvr32, a host's DllRegisterServer,
// DllInstall) and late binding from VBScript (cscript) against the registered control.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../../support/SimulatorDll.h"

namespace fs = std::filesystem;

namespace {

const std::wstring Clsid = L"{9989C1FE-0F81-4696-AB1F-1D780126E85B}";
const std::wstring ClassKey = L"CLSID\\" + Clsid;
const std::wstring Libid = L"{B50F7C64-6888-4FBE-B1D6-EFFBF4899BF2}";
const wchar_t MachineClasses[] = L"Software\\Classes\\";  // under HKEY_LOCAL_MACHINE
const wchar_t UserClasses[] = L"Software\\Classes\\";     // under HKEY_CURRENT_USER

struct Value {
    DWORD type = 0;
    std::vector<BYTE> data;
    bool operator==(const Value& o) const { return type == o.type && data == o.data; }
};
// key path (below the root given) -> value name -> value
using Tree = std::map<std::wstring, std::map<std::wstring, Value>>;

void ReadTree(HKEY root, const std::wstring& path, Tree& tree)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    auto& values = tree[path];
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        Value value;
        value.type = type;
        value.data.resize(size);
        nameLength = 256;
        RegEnumValueW(key, i, name, &nameLength, nullptr, &type, value.data.data(), &size);
        values[std::wstring(name, nameLength)] = value;
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.emplace_back(name, length);
    }
    RegCloseKey(key);
    for (const std::wstring& subkey : subkeys)
        ReadTree(root, path + L"\\" + subkey, tree);
}

// The class entries below a classes root: the CLSID tree and the ProgID tree.
Tree ClassEntries(HKEY root, const std::wstring& prefix)
{
    Tree tree;
    ReadTree(root, prefix + ClassKey, tree);
    ReadTree(root, prefix + L"Tavrix.Tavrix", tree);
    return tree;
}

Value Text(const std::wstring& text)
{
    Value value{REG_SZ, {}};
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    value.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    return value;
}

std::wstring ShortPath(const std::wstring& path)
{
    wchar_t shortForm[MAX_PATH];
    const DWORD length = GetShortPathNameW(path.c_str(), shortForm, MAX_PATH);
    return std::wstring(shortForm, length);
}

// Rows 1 to 14 as they must stand below prefix.
Tree ExpectedEntries(const std::wstring& prefix, const std::wstring& library)
{
    const std::wstring server = library.find(L' ') == std::wstring::npos ? library : ShortPath(library);
    const std::wstring c = prefix + ClassKey;
    return Tree{
        {c, {{L"", Text(L"Tavrix Control")}}},
        {c + L"\\InprocServer32", {{L"", Text(server)}, {L"ThreadingModel", Text(L"Apartment")}}},
        {prefix + L"Tavrix.Tavrix", {{L"", Text(L"Tavrix Control")}}},
        {prefix + L"Tavrix.Tavrix\\Clsid", {{L"", Text(Clsid)}}},
        {c + L"\\ProgID", {{L"", Text(L"Tavrix.Tavrix")}}},
        {c + L"\\Version", {{L"", Text(L"1.0")}}},
        {c + L"\\TypeLib", {{L"", Text(Libid)}}},
        {c + L"\\MiscStatus", {{L"", Text(L"0")}}},
        {c + L"\\MiscStatus\\1", {{L"", Text(L"205201")}}},
        {c + L"\\ToolboxBitmap32", {{L"", Text(library + L",0")}}},
        {c + L"\\Control", {{L"", Text(L"")}}},
        {c + L"\\Verb", {{L"", Text(L"")}}},
        {c + L"\\Verb\\0", {{L"", Text(L"\u30D7\u30ED\u30D1\u30C6\u30A3,0,2")}}},  // プロパティ,0,2
    };
}

std::string Show(const Tree& tree)
{
    std::string shown;
    for (const auto& [key, values] : tree) {
        shown += fs::path(key).string() + "\n";
        for (const auto& [name, value] : values)
            shown += "  " + fs::path(name).string() + " type " + std::to_string(value.type) + " bytes " +
                     std::to_string(value.data.size()) + "\n";
    }
    return shown;
}

// Each build registers the type library under the system of its own pointer size.
const std::wstring LibrarySystem = sizeof(void*) == 8 ? L"win64" : L"win32";

std::wstring TypeLibraryPath()
{
    wchar_t path[MAX_PATH] = {};
    LONG size = sizeof path;
    if (RegQueryValueW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + Libid + L"\\1.0\\0\\" + LibrarySystem).c_str(), path, &size) !=
        ERROR_SUCCESS)
        return L"";
    return path;
}

DWORD RunCommand(const std::wstring& commandLine)
{
    const ChildResult child = RunChild(commandLine);
    return child.exitCode;
}

DWORD RegSvr32(const std::wstring& arguments, const std::wstring& library)
{
    return RunCommand(L"regsvr32.exe /s " + arguments + L" \"" + library + L"\"");
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override { CleanUp(); }
    void TearDown() override { CleanUp(); }

    static void CleanUp()
    {
        for (const wchar_t* arguments : {L"/u", L"/u /n /i:user"})
            RegSvr32(arguments, Built());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(MachineClasses) + ClassKey).c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(UserClasses) + ClassKey).c_str());
    }

    static std::wstring Built() { return ProgramFolder() + L"Norvane.ocx"; }
};

TEST_F(Registration, MachineRegistrationWritesRowsOneToFourteen)
{
    ASSERT_EQ(RegSvr32(L"", Built()), 0u);
    const Tree written = ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses);
    EXPECT_EQ(written, ExpectedEntries(MachineClasses, Built())) << Show(written);
    EXPECT_TRUE(ClassEntries(HKEY_CURRENT_USER, UserClasses).empty()) << "nothing per user";
    EXPECT_EQ(fs::path(TypeLibraryPath()), fs::path(Built()));

    ASSERT_EQ(RegSvr32(L"", Built()), 0u);
    EXPECT_EQ(ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses), written) << "registering twice equals once";

    ASSERT_EQ(RegSvr32(L"/u", Built()), 0u);
    EXPECT_TRUE(ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses).empty());
    EXPECT_EQ(TypeLibraryPath(), L"");
    EXPECT_EQ(RegSvr32(L"/u", Built()), 0u) << "unregistering with nothing registered succeeds";
}

TEST_F(Registration, PerUserThroughDllInstall)
{
    const struct {
        const wchar_t* commandLine;
        bool perUser;
    } cases[] = {{L"user", true}, {L"USER", true}, {L"uSeR", true}, {L"\"user \"", false}, {L"users", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(fs::path(c.commandLine).string());
        ASSERT_EQ(RegSvr32(std::wstring(L"/n /i:") + c.commandLine, Built()), 0u);
        const Tree user = ClassEntries(HKEY_CURRENT_USER, UserClasses);
        const Tree machine = ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses);
        if (c.perUser) {
            EXPECT_EQ(user, ExpectedEntries(UserClasses, Built())) << Show(user);
            EXPECT_TRUE(machine.empty()) << Show(machine);
        } else {
            EXPECT_EQ(machine, ExpectedEntries(MachineClasses, Built())) << Show(machine);
            EXPECT_TRUE(user.empty());
        }
        EXPECT_FALSE(TypeLibraryPath().empty());
        ASSERT_EQ(RegSvr32(std::wstring(L"/u /n /i:") + c.commandLine, Built()), 0u);
        EXPECT_TRUE(ClassEntries(HKEY_CURRENT_USER, UserClasses).empty());
        EXPECT_TRUE(ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses).empty());
    }
}

TEST_F(Registration, APathWithABlankRegistersItsShortForm)
{
    const fs::path folder = L"C:\\Norvane Test Folder";
    fs::create_directories(folder);
    const std::wstring library = (folder / L"Norvane.ocx").wstring();
    fs::copy_file(Built(), library, fs::copy_options::overwrite_existing);
    ASSERT_EQ(RegSvr32(L"", library), 0u);
    const Tree written = ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses);
    EXPECT_EQ(written, ExpectedEntries(MachineClasses, library)) << Show(written);
    const std::wstring server = ShortPath(library);
    EXPECT_EQ(server.find(L' '), std::wstring::npos) << fs::path(server).string();
    ASSERT_EQ(RegSvr32(L"/u", library), 0u);
    EXPECT_TRUE(ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses).empty());
}

TEST_F(Registration, AForeignSubkeyKeepsItsKey)
{
    ASSERT_EQ(RegSvr32(L"", Built()), 0u);
    HKEY foreign = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, (ClassKey + L"\\Foreign").c_str(), &foreign), ERROR_SUCCESS);
    RegCloseKey(foreign);
    ASSERT_EQ(RegSvr32(L"/u", Built()), 0u);
    const Tree left = ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses);
    Tree expected{{std::wstring(MachineClasses) + ClassKey, {{L"", Text(L"Tavrix Control")}}},
                  {std::wstring(MachineClasses) + ClassKey + L"\\Foreign", {}}};
    EXPECT_EQ(left, expected) << Show(left);
}

void RemoveX86View()
{
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, MachineClasses, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &classes) != ERROR_SUCCESS)
        return;
    for (const std::wstring& tree : {ClassKey, std::wstring(L"Tavrix.Tavrix"), L"TypeLib\\" + Libid})
        RegDeleteTreeW(classes, tree.c_str());
    RegCloseKey(classes);
}

// The x86 build's registration, as it stands in the 32-bit registry view of a 64-bit machine,
// outlives registering and unregistering the x64 build: the two share every identifier.
TEST_F(Registration, TheOtherArchitecturesRegistrationStays)
{
    if (sizeof(void*) == 4)
        GTEST_SKIP() << "runs in the x64 build: a 32-bit prefix has no other registry view";
    const std::wstring x86Library = L"C:\\Program Files (x86)\\Norvane\\Norvane.ocx";
    const struct {
        std::wstring key, value;
    } x86Rows[] = {
        {std::wstring(MachineClasses) + ClassKey + L"\\InprocServer32", x86Library},
        {std::wstring(MachineClasses) + L"Tavrix.Tavrix\\Clsid", Clsid},
        {std::wstring(MachineClasses) + L"TypeLib\\" + Libid + L"\\1.0\\0\\win32", x86Library},
    };
    const auto x86View = [&] {
        std::vector<std::wstring> values;
        for (const auto& row : x86Rows) {
            wchar_t value[MAX_PATH] = {};
            DWORD size = sizeof value;
            RegGetValueW(HKEY_LOCAL_MACHINE, row.key.c_str(), nullptr, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6432KEY, nullptr,
                         value, &size);
            values.emplace_back(value);
        }
        return values;
    };
    RemoveX86View();
    std::vector<std::wstring> written;
    for (const auto& row : x86Rows) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, row.key.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                                  nullptr, &key, nullptr), ERROR_SUCCESS);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(row.value.c_str()),
                       static_cast<DWORD>((row.value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        written.push_back(row.value);
    }
    ASSERT_EQ(x86View(), written);

    ASSERT_EQ(RegSvr32(L"", Built()), 0u);
    EXPECT_EQ(x86View(), written) << "after registering the x64 build";
    EXPECT_EQ(fs::path(TypeLibraryPath()), fs::path(Built()));
    ASSERT_EQ(RegSvr32(L"/u", Built()), 0u);
    EXPECT_EQ(x86View(), written) << "after unregistering the x64 build";
    // The class goes; the ProgID stays while the x86 build serves the class (64-bit Windows keeps
    // one ProgID key for both views), and goes with the last build.
    const Tree left = ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses);
    EXPECT_EQ(left.count(std::wstring(MachineClasses) + ClassKey), 0u) << Show(left);
    EXPECT_EQ(left.count(std::wstring(MachineClasses) + L"Tavrix.Tavrix\\Clsid"), 1u) << Show(left);
    RemoveX86View();
    ASSERT_EQ(RegSvr32(L"/u", Built()), 0u);
    EXPECT_TRUE(ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses).empty());
}

// A host whose command line carries the switches calls plain DllRegisterServer.
TEST_F(Registration, HostSwitchesPresetPerUserRegistration)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const struct {
        const wchar_t* switches;
        bool perUser;
    } cases[] = {{L"/REGSERVERPERUSER", true}, {L"-regserverperuser", true},
                 {L"/REGSERVERPERUSER -Embedding", false}, {L"/EMBEDDING /RegServerPerUser", false},
                 {L"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(fs::path(c.switches).string());
        const std::wstring host = L"\"" + std::wstring(self) + L"\" --host \"" + Built() + L"\" ";
        ASSERT_EQ(RunCommand(host + L"register " + c.switches), 0u);
        EXPECT_EQ(!ClassEntries(HKEY_CURRENT_USER, UserClasses).empty(), c.perUser);
        EXPECT_EQ(!ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses).empty(), !c.perUser);
        ASSERT_EQ(RunCommand(host + L"unregister " + c.switches), 0u);
        EXPECT_TRUE(ClassEntries(HKEY_CURRENT_USER, UserClasses).empty());
        EXPECT_TRUE(ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses).empty());
    }
}

// A host that loads the library and gets its factory: nothing is registered, and COM is
// left to the host (its first CoInitializeEx still reports S_OK).
TEST_F(Registration, LoadingRegistersNothingAndLeavesComToTheHost)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(RunCommand(L"\"" + std::wstring(self) + L"\" --host \"" + Built() + L"\" load /REGSERVER"), 0u);
    EXPECT_TRUE(ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses).empty());
    EXPECT_TRUE(ClassEntries(HKEY_CURRENT_USER, UserClasses).empty());
    EXPECT_EQ(TypeLibraryPath(), L"");
}

// A copy of the library whose embedded type library no longer reads as one.
std::wstring DamagedCopy(const std::wstring& library)
{
    const fs::path folder = fs::temp_directory_path() / L"norvane-damaged";
    fs::create_directories(folder);
    const fs::path copy = folder / L"Norvane.ocx";
    std::ifstream in(fs::path(library), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const std::string signature("MSFT\x02\x00\x01\x00", 8);
    size_t found = 0;
    for (size_t at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 1), ++found)
        bytes[at] = 'X';
    EXPECT_EQ(found, 1u);
    std::ofstream(copy, std::ios::binary | std::ios::trunc) << bytes;
    return copy.wstring();
}

// Without its type library the library serves no class; registration says so and
// touches nothing, also what an intact copy registered.
TEST_F(Registration, AStoppedStartUpFailsRegistrationAndServesNoClass)
{
    const std::wstring damaged = DamagedCopy(Built());
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring host = L"\"" + std::wstring(self) + L"\" --host \"" + damaged + L"\" ";
    EXPECT_EQ(RunCommand(host + L"register"), static_cast<DWORD>(E_FAIL));
    EXPECT_NE(RegSvr32(L"/n /i:user", damaged), 0u);
    EXPECT_EQ(RunCommand(host + L"load"), static_cast<DWORD>(CLASS_E_CLASSNOTAVAILABLE));
    EXPECT_TRUE(ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses).empty());
    EXPECT_TRUE(ClassEntries(HKEY_CURRENT_USER, UserClasses).empty());
    EXPECT_EQ(TypeLibraryPath(), L"");

    ASSERT_EQ(RegSvr32(L"", Built()), 0u);
    EXPECT_EQ(RunCommand(host + L"unregister"), static_cast<DWORD>(E_FAIL));
    const Tree kept = ClassEntries(HKEY_LOCAL_MACHINE, MachineClasses);
    EXPECT_EQ(kept, ExpectedEntries(MachineClasses, Built())) << Show(kept);
    EXPECT_EQ(fs::path(TypeLibraryPath()), fs::path(Built()));
    fs::remove_all(fs::path(damaged).parent_path());
}

// VBScript, late bound through the registration.
class VBScript : public Registration {
protected:
    static std::string RunScript(const std::string& script)
    {
        const fs::path file = fs::temp_directory_path() / L"norvane-test.vbs";
        std::ofstream(file) << script;
        const ChildResult child = RunChild(L"cscript.exe //nologo \"" + file.wstring() + L"\"");
        fs::remove(file);
        EXPECT_EQ(child.exitCode, 0u) << child.output;
        std::string output;
        for (char c : child.output)
            if (c != '\r')
                output += c;
        return output;
    }
};

TEST_F(VBScript, PropertiesAndReadCard)
{
    ASSERT_EQ(RegSvr32(L"", Built()), 0u);
    fs::remove_all(ReaderLibraryPaths[1]);
    InstallSimulator(ReaderLibraryPaths[0]);
    const std::string output = RunScript(
        "Set t = CreateObject(\"Tavrix.Tavrix\")\n"
        "WScript.Echo t.Caption\n"
        "t.Caption = \"Kiosk\"\n"
        "WScript.Echo t.Caption\n"
        "t.AutoScroll = 1\n"
        "WScript.Echo CStr(t.AutoScroll)\n"
        "WScript.Echo t.PrintScale & \" \" & t.SnapBuffer & \" \" & Hex(t.Color)\n"
        "t.Read_Card \"EDY\"\n"
        "WScript.Echo \"read \" & Err.Number\n");
    EXPECT_EQ(output, "Tavrix\nKiosk\nTrue\n1 10 FF00000F\nread 0\n");
}

TEST_F(VBScript, AMissingReaderLibraryIsARuntimeError)
{
    ASSERT_EQ(RegSvr32(L"", Built()), 0u);
    for (const wchar_t* path : ReaderLibraryPaths)
        fs::remove_all(path);
    // The description goes to a UTF-16 file: the console's code page cannot carry it.
    // Wine's VBScript reports its own error 445 for a failing call in statement form
    // (t.Read_Card "EDY"), so the call is made with Call.
    const fs::path description = fs::temp_directory_path() / L"norvane-description.txt";
    const std::string output = RunScript(
        "On Error Resume Next\n"
        "Set t = CreateObject(\"Tavrix.Tavrix\")\n"
        "Call t.Read_Card(\"EDY\")\n"
        "n = Err.Number: s = Err.Source: d = Err.Description\n"
        "Set f = CreateObject(\"Scripting.FileSystemObject\").CreateTextFile(\"" +
        description.string() +
        "\", True, True)\n"
        "f.Write d\n"
        "f.Close\n"
        "WScript.Echo Hex(n) & \"|\" & s\n");
    EXPECT_EQ(output, "8000FFFF|Tavrix.Tavrix\n");
    std::ifstream file(description, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    file.close();
    fs::remove(description);
    ASSERT_GE(bytes.size(), 2u);
    const std::u16string text(reinterpret_cast<const char16_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    EXPECT_EQ(text, u"FeliCa ライブラリ (felica.dll) を読み込めません");
}

// --host <library> register|unregister|load [switches...]: a host that registers through
// the plain entry points, its command line carrying the switches. Exits with the entry
// point's HRESULT when that is not S_OK.
int Host(char** argv)
{
    const HMODULE library = LoadLibraryW(fs::path(argv[2]).wstring().c_str());
    if (!library)
        return 10;
    if (std::string(argv[3]) == "load") {
        void* factory = nullptr;
        const auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
            reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
        const CLSID control = {0x9989C1FE, 0x0F81, 0x4696, {0xAB, 0x1F, 0x1D, 0x78, 0x01, 0x26, 0xE8, 0x5B}};
        if (!getClassObject)
            return 12;
        if (const HRESULT result = getClassObject(control, IID_IClassFactory, &factory); result != S_OK)
            return static_cast<int>(result);
        static_cast<IUnknown*>(factory)->Release();
        return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) == S_OK ? 0 : 13;
    }
    const char* entry = std::string(argv[3]) == "register" ? "DllRegisterServer" : "DllUnregisterServer";
    const auto call = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(library, entry)));
    return call ? static_cast<int>(call()) : 11;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::string(argv[1]) == "--host")
        return Host(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
