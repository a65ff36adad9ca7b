// tavrix-host and the shipped samples, run as an integrator would run them.
#include <gtest/gtest.h>

#include <windows.h>

#include <wincodec.h>
#include <wrl/client.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "../../support/SimulatorDll.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

std::wstring HostCommand() { return L"\"" + ProgramFolder() + L"tavrix-host.exe\" "; }

std::wstring Samples() { return fs::path(NORVANE_SAMPLES).make_preferred().wstring(); }

std::wstring Scenario(const wchar_t* name) { return L"\"" + Samples() + L"\\scenarios\\" + name + L"\""; }

std::string Lines(const std::string& output)
{
    std::string lines;
    for (char c : output)
        if (c != '\r')
            lines += c;
    return lines;
}

ChildResult RunCommand(const std::wstring& commandLine)
{
    ChildResult result = RunChild(commandLine);
    result.output = Lines(result.output);
    return result;
}

std::string Utf8(const std::wstring& text)
{
    std::string utf8(text.size() * 3, '\0');
    utf8.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                        utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

// diagnose --json as a JSON parser reads it; a discarded value when it is no JSON.
json DiagnoseJson()
{
    const ChildResult diagnose = RunCommand(HostCommand() + L"diagnose --json");
    const json parsed = json::parse(diagnose.output, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << diagnose.output;
    return parsed;
}

class TavrixHost : public ::testing::Test {
protected:
    void TearDown() override
    {
        RunCommand(HostCommand() + L"trace remove");
        RunCommand(HostCommand() + L"simulator remove");
        RunCommand(HostCommand() + L"unregister");
        RunCommand(HostCommand() + L"unregister --user");
    }
};

TEST_F(TavrixHost, ReadPrintsTheEventAndExitsByOutcome)
{
    const struct {
        const wchar_t* scenario;  // null: no reader library at all
        DWORD exitCode;
        std::string output;
    } cases[] = {
        {L"edy-card.txt", 0, "{\"event\":\"On_ReadData\",\"card_ID\":\"2160012345678901\",\"Error\":0,\"Message\":\"\"}\n"},
        {L"no-card.txt", 1, "{\"event\":\"On_ReadData\",\"card_ID\":\"\",\"Error\":1,\"Message\":\"カードが読み取れません\"}\n"},
        {L"reader-unplugged.txt", 1,
         "{\"event\":\"On_ReadData\",\"card_ID\":\"\",\"Error\":1,\"Message\":\"リーダ／ライタを自動認識できません (0x404)\"}\n"},
        {nullptr, 2, "{\"fault\":\"FeliCa ライブラリ (felica.dll) を読み込めません\",\"hresult\":\"0x8000FFFF\"}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        if (c.scenario)
            ASSERT_EQ(RunCommand(HostCommand() + L"simulator install " + Scenario(c.scenario)).exitCode, 0u);
        else
            ASSERT_EQ(RunCommand(HostCommand() + L"simulator remove").exitCode, 0u);
        const ChildResult read = RunCommand(HostCommand() + L"read EDY");
        EXPECT_EQ(read.exitCode, c.exitCode);
        EXPECT_EQ(read.output, c.output);
    }
    // Any other card type reads the raw block: zero bytes are shown escaped.
    RunCommand(HostCommand() + L"simulator install " + Scenario(L"edy-card.txt"));
    const ChildResult other = RunCommand(HostCommand() + L"read SUICA");
    EXPECT_EQ(other.exitCode, 0u);
    EXPECT_NE(other.output.find("\"card_ID\":\"\\u0000\\u0000!`"), std::string::npos) << other.output;
    EXPECT_EQ(RunCommand(HostCommand() + L"read EDY extra").exitCode, 64u);
}

// Decodes the file as a PNG, through the platform's codec, and reads one pixel back (RGB);
// nothing when it is no PNG or the pixel is outside it.
std::vector<uint8_t> PngPixel(const std::string& file, int x, int y)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<uint8_t> pixel;
    {
        Microsoft::WRL::ComPtr<IWICImagingFactory> factory;
        Microsoft::WRL::ComPtr<IWICStream> stream;
        Microsoft::WRL::ComPtr<IWICBitmapDecoder> decoder;
        Microsoft::WRL::ComPtr<IWICBitmapFrameDecode> frame;
        Microsoft::WRL::ComPtr<IWICFormatConverter> converter;
        const WICRect one{x, y, 1, 1};
        BYTE bgr[3] = {};
        if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) &&
            SUCCEEDED(factory->CreateStream(&stream)) &&
            SUCCEEDED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(file.data())),
                                                   static_cast<DWORD>(file.size()))) &&
            SUCCEEDED(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, &decoder)) &&
            SUCCEEDED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand)) &&
            SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
            SUCCEEDED(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr,
                                            0.0, WICBitmapPaletteTypeCustom)) &&
            SUCCEEDED(converter->CopyPixels(&one, sizeof bgr, sizeof bgr, bgr)))
            pixel = {bgr[2], bgr[1], bgr[0]};
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return pixel;
}

std::string FileContents(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Where `simulator install` puts the simulator in this prefix, from what it says.
fs::path SimulatorFolder()
{
    const std::string said = RunCommand(HostCommand() + L"simulator install").output;
    const std::string prefix = "simulator installed in ";
    EXPECT_EQ(said.rfind(prefix, 0), 0u) << said;
    RunCommand(HostCommand() + L"simulator remove");
    return said.size() > prefix.size() ? fs::path(said.substr(prefix.size(), said.size() - prefix.size() - 1)) : fs::path();
}

// A reader library that is not ours stands at the library's path: install refuses it or sets it
// aside, remove puts it back and never deletes it.
TEST_F(TavrixHost, TheSimulatorNeverTakesTheVendorsLibrary)
{
    const fs::path folder = SimulatorFolder();
    ASSERT_FALSE(folder.empty());
    const fs::path library = folder / L"felica.dll", setAside = folder / L"felica.dll.set-aside";
    const fs::path vendor = fs::path(ProgramFolder()) / L"Norvane.ocx";  // any library but the simulator
    const std::string vendorBytes = FileContents(vendor);
    const auto placeVendor = [&] {
        fs::remove_all(library);
        fs::remove_all(setAside);
        fs::copy_file(vendor, library);
    };

    placeVendor();
    ChildResult install = RunCommand(HostCommand() + L"simulator install " + Scenario(L"no-card.txt"));
    EXPECT_EQ(install.exitCode, 2u);
    EXPECT_NE(install.output.find("not the simulator"), std::string::npos) << install.output;
    EXPECT_EQ(FileContents(library), vendorBytes);
    EXPECT_FALSE(fs::exists(setAside));
    EXPECT_FALSE(fs::exists(folder / L"felica-scenario.txt"));

    const ChildResult removeNothing = RunCommand(HostCommand() + L"simulator remove");
    EXPECT_EQ(removeNothing.exitCode, 0u);
    EXPECT_NE(removeNothing.output.find("not the simulator"), std::string::npos) << removeNothing.output;
    EXPECT_EQ(FileContents(library), vendorBytes) << "remove deletes no library it did not put there";

    install = RunCommand(HostCommand() + L"simulator install --set-aside " + Scenario(L"no-card.txt"));
    EXPECT_EQ(install.exitCode, 0u) << install.output;
    EXPECT_NE(install.output.find("set aside"), std::string::npos) << install.output;
    EXPECT_EQ(FileContents(setAside), vendorBytes);
    const ChildResult read = RunCommand(HostCommand() + L"read EDY");
    EXPECT_NE(read.output.find("カードが読み取れません"), std::string::npos) << "the simulator answers: " << read.output;
    const ChildResult remove = RunCommand(HostCommand() + L"simulator remove");
    EXPECT_EQ(remove.exitCode, 0u);
    EXPECT_NE(remove.output.find("put back"), std::string::npos) << remove.output;
    EXPECT_EQ(FileContents(library), vendorBytes) << "the identical bytes are back";
    EXPECT_FALSE(fs::exists(setAside));
    EXPECT_FALSE(fs::exists(folder / L"felica-scenario.txt"));

    // A library another process holds open cannot be set aside: nothing changes.
    placeVendor();
    {
        const HANDLE held = CreateFileW(library.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        install = RunCommand(HostCommand() + L"simulator install --set-aside");
        CloseHandle(held);
    }
    EXPECT_EQ(install.exitCode, 2u) << install.output;
    EXPECT_NE(install.output.find("nothing changed"), std::string::npos) << install.output;
    EXPECT_EQ(FileContents(library), vendorBytes);
    EXPECT_FALSE(fs::exists(setAside));
    EXPECT_FALSE(fs::exists(fs::path(library) += L".partial"));

    // A folder at the library's path: a clear refusal, and remove leaves it.
    fs::remove_all(library);
    fs::create_directory(library);
    install = RunCommand(HostCommand() + L"simulator install");
    EXPECT_EQ(install.exitCode, 2u);
    EXPECT_NE(install.output.find("is a folder"), std::string::npos) << install.output;
    EXPECT_EQ(RunCommand(HostCommand() + L"simulator remove").exitCode, 0u);
    EXPECT_TRUE(fs::is_directory(library));
    fs::remove_all(library);
}

// Every folder and file at and below the path, each file by its size and a hash of its bytes.
std::map<std::string, std::string> Tree(const fs::path& root)
{
    std::map<std::string, std::string> tree;
    const auto record = [&](const fs::path& path) {
        const std::string bytes = fs::is_directory(path) ? std::string() : FileContents(path);
        tree[Utf8(path.wstring())] = fs::is_directory(path) ? "a folder"
                                                            : std::to_string(bytes.size()) + " bytes, hash " +
                                                                  std::to_string(std::hash<std::string>()(bytes));
    };
    std::error_code error;
    if (!fs::exists(root, error))
        return tree;
    record(root);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root, error))
        record(entry.path());
    return tree;
}

// An install that fails leaves the machine exactly as it was, whatever step it fails at: the
// library there, the scenario there, and no folder or file of its own.
TEST_F(TavrixHost, AFailedInstallChangesNothing)
{
    const fs::path folder = SimulatorFolder();
    ASSERT_FALSE(folder.empty());
    const fs::path shared = folder.parent_path(), library = folder / L"felica.dll";
    const fs::path vendor = fs::path(ProgramFolder()) / L"Norvane.ocx";  // any library but the simulator
    const std::wstring missing = L"\"" + (fs::temp_directory_path() / L"no such scenario.txt").wstring() + L"\"";
    const fs::path aFolder = fs::temp_directory_path() / L"norvane-scenario-folder";
    fs::create_directories(aFolder);
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::wstring arguments;
    } cases[] = {
        {"the vendor's library, set aside for a scenario that is missing",
         [&] {
             fs::create_directories(folder);
             fs::copy_file(vendor, library);
         },
         L"--set-aside " + missing},
        {"no folder yet, and a scenario that is missing", [] {}, missing},
        {"the simulator with its scenario, and a new scenario that is missing",
         [] { RunCommand(HostCommand() + L"simulator install " + Scenario(L"no-card.txt")); }, missing},
        {"the vendor's library, set aside for a scenario that is a folder",
         [&] {
             fs::create_directories(folder);
             fs::copy_file(vendor, library);
         },
         L"--set-aside \"" + aFolder.wstring() + L"\""},
    };
    for (const auto& c : cases) {
        fs::remove_all(shared);
        c.arrange();
        const std::map<std::string, std::string> before = Tree(shared);
        const ChildResult install = RunCommand(HostCommand() + L"simulator install " + c.arguments);
        EXPECT_EQ(install.exitCode, 2u) << c.name << "\n" << install.output;
        EXPECT_NE(install.output.find("nothing changed"), std::string::npos) << c.name << "\n" << install.output;
        EXPECT_EQ(Tree(shared), before) << c.name;
    }
    fs::remove_all(shared);
    fs::remove(aFolder);
}

// The system's own text for a Windows error, as diagnose shows it (without the line end and
// the closing full stop), in UTF-8.
std::string SystemErrorText(DWORD error)
{
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512, nullptr);
    std::wstring shown(text);
    while (!shown.empty() && (shown.back() == L'\n' || shown.back() == L'\r' || shown.back() == L'.'))
        shown.pop_back();
    return Utf8(shown);
}

// diagnose names each state of the reader library paths as a support desk needs it, in its text
// and in its JSON, whose texts (a Windows error in the language of the system among them) a
// JSON parser reads back unchanged.
TEST_F(TavrixHost, DiagnoseNamesWhatTheControlWouldUse)
{
    const std::string self = sizeof(void*) == 8 ? "x64" : "x86", other = sizeof(void*) == 8 ? "x86" : "x64";
    const std::string first = fs::path(ReaderLibraryPaths[0]).string(), second = fs::path(ReaderLibraryPaths[1]).string();
    const std::string uses = "the " + self + " control would use: ";
    const std::string badImage = "Windows error 193: " + SystemErrorText(ERROR_BAD_EXE_FORMAT);
    ASSERT_TRUE(std::any_of(badImage.begin(), badImage.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        << "this test wants a Windows error text beyond ASCII: run it as ctest does, with LC_ALL=ja_JP.UTF-8 (" << badImage
        << ")";
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::vector<std::string> lines;  // each must stand in the output, whole
        json use, loadError;             // of this process's architecture, and of the first path, in the JSON
    } cases[] = {
        {"nothing installed", [] {},
         {"library " + first + ": absent", "library " + second + ": absent",
          uses + "none (Read_Card fails with 0x8000FFFF)"},
         nullptr, nullptr},
        {"the simulator", [] { RunCommand(HostCommand() + L"simulator install"); },
         {"library " + first + ": present, built for " + self +
              ", loads in this process, all 7 entry points, the Norvane reader simulator",
          uses + first},
         first, nullptr},
        {"the other processor's library first, a good one second",
         [] {
             InstallOtherProcessorLibrary(ReaderLibraryPaths[0]);
             InstallSimulator(ReaderLibraryPaths[1]);
         },
         {"library " + first + ": present, built for " + other + ", does not load in this process (" + badImage + ")",
          uses + second},
         second, badImage},
        {"a library lacking an entry point", [] { InstallSimulator(ReaderLibraryPaths[0], L"simulator-incomplete"); },
         {"library " + first + ": present, built for " + self +
              ", loads in this process, 6 of 7 entry points (missing: read_block_without_encryption), the Norvane reader simulator",
          uses + first + " (Read_Card fails with 0x8000FFFF: an entry point is missing)"},
         first, nullptr},
    };
    for (const auto& c : cases) {
        for (const wchar_t* path : ReaderLibraryPaths)
            fs::remove_all(path);
        c.arrange();
        const ChildResult diagnose = RunCommand(HostCommand() + L"diagnose");
        EXPECT_EQ(diagnose.exitCode, 0u) << c.name;
        for (const std::string& line : c.lines)
            EXPECT_NE(diagnose.output.find(line), std::string::npos) << c.name << ": " << line << "\n" << diagnose.output;
        const json parsed = DiagnoseJson();
        if (parsed.is_discarded())
            continue;
        EXPECT_EQ(parsed.value("tavrix_host", json()), self) << c.name;
        EXPECT_EQ(parsed.at("uses").value(self, json("(missing)")), c.use) << c.name;
        EXPECT_EQ(parsed.at("libraries").at(0).value("path", json()), first) << c.name;
        EXPECT_EQ(parsed.at("libraries").at(0).value("load_error", json("(missing)")), c.loadError) << c.name;
    }
    for (const wchar_t* path : ReaderLibraryPaths)
        fs::remove_all(path);

    ASSERT_EQ(RunCommand(HostCommand() + L"register").exitCode, 0u);
    const std::string registered = RunCommand(HostCommand() + L"diagnose").output;
    EXPECT_NE(registered.find("control " + self + ": registered " + fs::path(ProgramFolder()).string()),
              std::string::npos) << registered;
    EXPECT_NE(registered.find("Norvane.ocx, version 1.0.0"), std::string::npos) << registered;
}

// A registration of the control written by hand in one registry view, taken away again.
class HandRegistration {
public:
    HandRegistration(REGSAM view, DWORD type, const std::wstring& path) : view_(view)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (ClassKey + L"\\InprocServer32").c_str(), 0, nullptr, 0,
                            KEY_WRITE | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        written_ = RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(path.c_str()),
                                  static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~HandRegistration()
    {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (ClassKey + L"\\InprocServer32").c_str(), view_, 0);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, ClassKey.c_str(), view_, 0);
    }
    bool Written() const { return written_; }

private:
    inline static const std::wstring ClassKey = L"Software\\Classes\\CLSID\\{9989C1FE-0F81-4696-AB1F-1D780126E85B}";
    REGSAM view_;
    bool written_ = false;
};

// A copy of a file at a path of any length, with the folders it lacks; the destructor takes the
// copy and those folders away again.
class PlacedFile {
public:
    PlacedFile(const std::wstring& from, const std::wstring& at) : file_(L"\\\\?\\" + at)
    {
        for (fs::path folder = file_.parent_path(); !fs::exists(folder); folder = folder.parent_path())
            made_.push_back(folder);
        std::error_code error;
        fs::create_directories(file_.parent_path(), error);
        placed_ = CopyFileW(from.c_str(), file_.c_str(), FALSE) != 0;
    }
    ~PlacedFile()
    {
        DeleteFileW(file_.c_str());
        for (const fs::path& folder : made_)
            RemoveDirectoryW(folder.c_str());
    }
    bool Placed() const { return placed_; }

private:
    fs::path file_;
    std::vector<fs::path> made_;  // the deepest first
    bool placed_ = false;
};

// diagnose reads a registered path as a process of the control's own architecture would: its
// variables expanded for that architecture, the system folder that architecture loads from,
// and at any length.
TEST_F(TavrixHost, DiagnoseFindsTheRegisteredFileAsTheControlsArchitectureDoes)
{
    wchar_t folder[MAX_PATH] = {};
    const std::wstring windows(folder, GetSystemWindowsDirectoryW(folder, MAX_PATH));
    const std::wstring ocx = ProgramFolder() + L"Norvane.ocx";
    std::wstring deep = L"C:\\Program Files\\Norvane Test";
    while (deep.size() < MAX_PATH + 40)
        deep += L"\\a folder of a deployment tool that nests its packages deeply";
    const struct {
        const char* name;
        REGSAM view;
        DWORD type;
        std::wstring stored, file;  // the registered text, and where the file is put
        std::string architecture;
        std::wstring shown;         // the path diagnose names
    } cases[] = {
        {"x64, REG_EXPAND_SZ", KEY_WOW64_64KEY, REG_EXPAND_SZ, L"%ProgramFiles%\\Norvane Test\\Norvane.ocx",
         L"C:\\Program Files\\Norvane Test\\Norvane.ocx", "x64", L"C:\\Program Files\\Norvane Test\\Norvane.ocx"},
        {"x86, REG_EXPAND_SZ: its own Program Files", KEY_WOW64_32KEY, REG_EXPAND_SZ,
         L"%ProgramFiles%\\Norvane Test\\Norvane.ocx", L"C:\\Program Files (x86)\\Norvane Test\\Norvane.ocx", "x86",
         L"C:\\Program Files (x86)\\Norvane Test\\Norvane.ocx"},
        {"x86 in the system folder: the 32-bit one", KEY_WOW64_32KEY, REG_SZ,
         windows + L"\\system32\\norvane-test.ocx", windows + L"\\syswow64\\norvane-test.ocx", "x86",
         windows + L"\\system32\\norvane-test.ocx"},
        {"x64, longer than MAX_PATH", KEY_WOW64_64KEY, REG_SZ, deep + L"\\Norvane.ocx", deep + L"\\Norvane.ocx", "x64",
         deep + L"\\Norvane.ocx"},
    };
    for (const auto& c : cases) {
        const PlacedFile file(ocx, c.file);
        ASSERT_TRUE(file.Placed()) << c.name;
        const HandRegistration registration(c.view, c.type, c.stored);
        ASSERT_TRUE(registration.Written()) << c.name;
        const std::string shown = Utf8(c.shown);
        const ChildResult diagnose = RunCommand(HostCommand() + L"diagnose");
        EXPECT_NE(diagnose.output.find("control " + c.architecture + ": registered " + shown + ", version 1.0.0\n"),
                  std::string::npos) << c.name << "\n" << diagnose.output;
        const json parsed = DiagnoseJson();
        if (!parsed.is_discarded())
            for (const json& control : parsed.at("controls"))
                if (control.value("architecture", "") == c.architecture) {
                    EXPECT_EQ(control.value("path", json()), shown) << c.name;
                    EXPECT_EQ(control.value("file_present", json()), true) << c.name;
                }
    }
    EXPECT_FALSE(fs::exists(L"C:\\Program Files\\Norvane Test")) << "the test's own files, left";
}

TEST_F(TavrixHost, TheWindowReadsAndKeepsAScreenshot)
{
    RunCommand(HostCommand() + L"simulator install " + Scenario(L"edy-card.txt"));
    const fs::path picture = fs::temp_directory_path() / L"tavrix-host-test.png";
    fs::remove(picture);
    const ChildResult window =
        RunCommand(HostCommand() + L"window --read EDY --screenshot \"" + picture.wstring() + L"\" --exit");
    EXPECT_EQ(window.exitCode, 0u);
    EXPECT_EQ(window.output, "{\"event\":\"On_ReadData\",\"card_ID\":\"2160012345678901\",\"Error\":0,\"Message\":\"\"}\n");
    std::ifstream in(picture, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(file.size(), 8u);
    EXPECT_EQ(file.substr(1, 3), "PNG");
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(PngPixel(file, 60, 40), (std::vector<uint8_t>{GetRValue(face), GetGValue(face), GetBValue(face)}))
        << "the control, in place";
    in.close();
    fs::remove(picture);
}

TEST_F(TavrixHost, RegistersForTheMachineAndPerUser)
{
    const auto registered = [](HKEY root, const wchar_t* prefix) {
        HKEY key = nullptr;
        const bool found = RegOpenKeyExW(root, (std::wstring(prefix) + L"CLSID\\{9989C1FE-0F81-4696-AB1F-1D780126E85B}").c_str(),
                                         0, KEY_READ, &key) == ERROR_SUCCESS;
        if (key)
            RegCloseKey(key);
        return found;
    };
    EXPECT_EQ(RunCommand(HostCommand() + L"register --user").exitCode, 0u);
    EXPECT_TRUE(registered(HKEY_CURRENT_USER, L"Software\\Classes\\"));
    EXPECT_FALSE(registered(HKEY_LOCAL_MACHINE, L"Software\\Classes\\"));
    EXPECT_EQ(RunCommand(HostCommand() + L"unregister --user").exitCode, 0u);
    EXPECT_FALSE(registered(HKEY_CURRENT_USER, L"Software\\Classes\\"));
    EXPECT_EQ(RunCommand(HostCommand() + L"register").exitCode, 0u);
    EXPECT_TRUE(registered(HKEY_LOCAL_MACHINE, L"Software\\Classes\\"));
    EXPECT_EQ(RunCommand(HostCommand() + L"unregister").exitCode, 0u);
    EXPECT_FALSE(registered(HKEY_LOCAL_MACHINE, L"Software\\Classes\\"));
}

TEST_F(TavrixHost, TheShippedSamplesRun)
{
    ASSERT_EQ(RunCommand(HostCommand() + L"register").exitCode, 0u);
    const std::wstring script = L"cscript.exe //nologo \"" + Samples() + L"\\vbscript\\read-card.vbs\"";
    const std::wstring cpp = L"\"" + ProgramFolder() + L"read_card.exe\"";

    RunCommand(HostCommand() + L"simulator install " + Scenario(L"edy-card.txt"));
    ChildResult vbs = RunCommand(script);
    EXPECT_EQ(vbs.exitCode, 0u) << vbs.output;
    EXPECT_EQ(vbs.output, "Caption: Tavrix\nRead_Card done: the result arrives as On_ReadData\n");
    ChildResult early = RunCommand(cpp);
    EXPECT_EQ(early.exitCode, 0u) << early.output;
    EXPECT_EQ(early.output, "On_ReadData: Error 0, card_ID 2160012345678901, 0 characters of message\n");

    RunCommand(HostCommand() + L"simulator install " + Scenario(L"no-card.txt"));
    early = RunCommand(cpp);
    EXPECT_EQ(early.exitCode, 1u) << early.output;
    EXPECT_EQ(early.output, "On_ReadData: Error 1, card_ID (empty), 11 characters of message\n");

    RunCommand(HostCommand() + L"simulator remove");
    vbs = RunCommand(script);
    EXPECT_EQ(vbs.exitCode, 2u);
    EXPECT_EQ(vbs.output, "Caption: Tavrix\nRead_Card failed: 0x8000FFFF from Tavrix.Tavrix\n");
    early = RunCommand(cpp);
    EXPECT_EQ(early.exitCode, 2u);
    EXPECT_EQ(early.output, "Read_Card failed: 0x8000FFFF, 34 characters of description\n");
}

// The tracing library goes in over whatever library is there and comes out leaving it as it was.
TEST_F(TavrixHost, TracingStandsInForTheLibraryAndGivesItBackWhole)
{
    const fs::path folder = SimulatorFolder();
    ASSERT_FALSE(folder.empty());
    const fs::path library = folder / L"felica.dll", traced = folder / L"felica.dll.traced",
                   settings = folder / L"felica-trace.ini";
    const fs::path vendor = fs::path(ProgramFolder()) / L"Norvane.ocx";  // any library but ours
    const std::string vendorBytes = FileContents(vendor);
    for (const wchar_t* path : ReaderLibraryPaths)
        fs::remove_all(path);
    fs::create_directories(folder);

    ChildResult install = RunCommand(HostCommand() + L"trace install");
    EXPECT_EQ(install.exitCode, 2u) << "nothing to trace";
    EXPECT_NE(install.output.find("nothing changed"), std::string::npos) << install.output;
    EXPECT_FALSE(fs::exists(library));
    EXPECT_FALSE(fs::exists(settings));

    fs::copy_file(vendor, library);
    const fs::path trace = fs::temp_directory_path() / L"norvane-host-trace.jsonl";
    install = RunCommand(HostCommand() + L"trace install --file \"" + trace.wstring() + L"\"");
    EXPECT_EQ(install.exitCode, 0u) << install.output;
    EXPECT_NE(install.output.find("level 1"), std::string::npos) << install.output;
    EXPECT_EQ(FileContents(traced), vendorBytes);
    EXPECT_NE(FileContents(library), vendorBytes);
    std::string diagnose = RunCommand(HostCommand() + L"diagnose").output;
    EXPECT_NE(diagnose.find("the Norvane tracing library: on, level 1, to " + trace.string() +
                            ", standing in for a library that is not ours"),
              std::string::npos) << diagnose;

    // The level changes in place; the library it stands in for stays as it was.
    install = RunCommand(HostCommand() + L"trace install --level 2");
    EXPECT_EQ(install.exitCode, 0u) << install.output;
    diagnose = RunCommand(HostCommand() + L"diagnose").output;
    EXPECT_NE(diagnose.find("on, level 2, to " + trace.string()), std::string::npos) << diagnose;
    EXPECT_EQ(FileContents(traced), vendorBytes);

    const ChildResult remove = RunCommand(HostCommand() + L"trace remove");
    EXPECT_EQ(remove.exitCode, 0u) << remove.output;
    EXPECT_EQ(FileContents(library), vendorBytes) << "the identical bytes are back";
    EXPECT_FALSE(fs::exists(traced));
    EXPECT_FALSE(fs::exists(settings));
    EXPECT_NE(RunCommand(HostCommand() + L"trace remove").output.find("nothing removed"), std::string::npos);

    // Something already under the name the library would be set aside as: nothing changes.
    fs::copy_file(vendor, traced);
    install = RunCommand(HostCommand() + L"trace install");
    EXPECT_EQ(install.exitCode, 2u) << install.output;
    EXPECT_EQ(FileContents(library), vendorBytes);
    EXPECT_FALSE(fs::exists(settings));
    fs::remove(traced);
    fs::remove(library);
    fs::remove(trace);
}

// A session traced at level 2 over the simulator, made into a scenario and replayed, gives the
// same events in the same order; the reads traced give what they give without the trace.
TEST_F(TavrixHost, ATracedSessionReplaysTheSame)
{
    const fs::path trace = fs::temp_directory_path() / L"norvane-session-trace.jsonl";
    const fs::path replay = fs::temp_directory_path() / L"norvane-session-replay.txt";
    fs::remove(trace);
    const std::wstring reads = HostCommand() + L"read EDY --count 5";

    ASSERT_EQ(RunCommand(HostCommand() + L"simulator install " + Scenario(L"session.txt")).exitCode, 0u);
    const ChildResult plain = RunCommand(reads);
    ASSERT_EQ(RunCommand(HostCommand() + L"trace install --level 2 --file \"" + trace.wstring() + L"\"").exitCode, 0u);
    const ChildResult traced = RunCommand(reads);
    EXPECT_EQ(traced.output, plain.output) << "the trace changes no read";
    EXPECT_EQ(traced.exitCode, plain.exitCode);
    ASSERT_EQ(RunCommand(HostCommand() + L"trace remove").exitCode, 0u);

    const ChildResult scenario = RunCommand(HostCommand() + L"scenario from-trace \"" + trace.wstring() + L"\"");
    ASSERT_EQ(scenario.exitCode, 0u) << scenario.output;
    std::ofstream(replay, std::ios::binary) << scenario.output;
    const ChildResult installed = RunCommand(HostCommand() + L"simulator install \"" + replay.wstring() + L"\"");
    ASSERT_EQ(installed.exitCode, 0u) << installed.output;
    const ChildResult replayed = RunCommand(reads);
    EXPECT_EQ(replayed.output, plain.output);
    EXPECT_EQ(replayed.exitCode, plain.exitCode);
    EXPECT_GE(std::count(plain.output.begin(), plain.output.end(), '\n'), 5) << plain.output;

    const ChildResult table = RunCommand(HostCommand() + L"trace show \"" + trace.wstring() + L"\"");
    EXPECT_EQ(table.exitCode, 0u) << table.output;
    EXPECT_NE(table.output.find("カードが読み取れません"), std::string::npos) << table.output;

    // Level 1 keeps no IDm or block to replay: refused, with the reason.
    fs::remove(trace);
    ASSERT_EQ(RunCommand(HostCommand() + L"simulator install " + Scenario(L"edy-card.txt")).exitCode, 0u);
    ASSERT_EQ(RunCommand(HostCommand() + L"trace install --level 1 --file \"" + trace.wstring() + L"\"").exitCode, 0u);
    RunCommand(reads);
    ASSERT_EQ(RunCommand(HostCommand() + L"trace remove").exitCode, 0u);
    const std::string masked = FileContents(trace);
    EXPECT_EQ(masked.find("2160012345678901"), std::string::npos);
    EXPECT_EQ(masked.find("012E4C7A9B3D1108"), std::string::npos);
    const ChildResult refused = RunCommand(HostCommand() + L"scenario from-trace \"" + trace.wstring() + L"\"");
    EXPECT_NE(refused.exitCode, 0u);
    EXPECT_NE(refused.output.find("level 1"), std::string::npos) << refused.output;
    fs::remove(trace);
    fs::remove(replay);
}

}  // namespace
