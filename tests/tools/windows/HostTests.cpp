// tavrix-host and the shipped samples, run as an integrator would run them.
#include <gtest/gtest.h>

#include <windows.h>

#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../support/SimulatorDll.h"

namespace fs = std::filesystem;

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

// diagnose names each state of the reader library paths as a support desk needs it.
TEST_F(TavrixHost, DiagnoseNamesWhatTheControlWouldUse)
{
    const std::string self = sizeof(void*) == 8 ? "x64" : "x86", other = sizeof(void*) == 8 ? "x86" : "x64";
    const std::string first = fs::path(ReaderLibraryPaths[0]).string(), second = fs::path(ReaderLibraryPaths[1]).string();
    const std::string uses = "the " + self + " control would use: ";
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::vector<std::string> lines;  // each must stand in the output, whole
    } cases[] = {
        {"nothing installed", [] {},
         {"library " + first + ": absent", "library " + second + ": absent",
          uses + "none (Read_Card fails with 0x8000FFFF)"}},
        {"the simulator", [] { RunCommand(HostCommand() + L"simulator install"); },
         {"library " + first + ": present, built for " + self +
              ", loads in this process, all 7 entry points, the Norvane reader simulator",
          uses + first}},
        {"the other processor's library first, a good one second",
         [] {
             InstallOtherProcessorLibrary(ReaderLibraryPaths[0]);
             InstallSimulator(ReaderLibraryPaths[1]);
         },
         {"library " + first + ": present, built for " + other + ", does not load in this process (Windows error 193",
          uses + second}},
        {"a library lacking an entry point", [] { InstallSimulator(ReaderLibraryPaths[0], L"simulator-incomplete"); },
         {"library " + first + ": present, built for " + self +
              ", loads in this process, 6 of 7 entry points (missing: read_block_without_encryption), the Norvane reader simulator",
          uses + first + " (Read_Card fails with 0x8000FFFF: an entry point is missing)"}},
    };
    for (const auto& c : cases) {
        for (const wchar_t* path : ReaderLibraryPaths)
            fs::remove_all(path);
        c.arrange();
        const ChildResult diagnose = RunCommand(HostCommand() + L"diagnose");
        EXPECT_EQ(diagnose.exitCode, 0u) << c.name;
        for (const std::string& line : c.lines)
            EXPECT_NE(diagnose.output.find(line), std::string::npos) << c.name << ": " << line << "\n" << diagnose.output;
        const ChildResult json = RunCommand(HostCommand() + L"diagnose --json");
        EXPECT_EQ(json.output.rfind("{\"tavrix_host\":\"" + self + "\"", 0), 0u) << json.output;
    }
    for (const wchar_t* path : ReaderLibraryPaths)
        fs::remove_all(path);

    ASSERT_EQ(RunCommand(HostCommand() + L"register").exitCode, 0u);
    const std::string registered = RunCommand(HostCommand() + L"diagnose").output;
    EXPECT_NE(registered.find("control " + self + ": registered " + fs::path(ProgramFolder()).string()),
              std::string::npos) << registered;
    EXPECT_NE(registered.find("Norvane.ocx, version 1.0.0"), std::string::npos) << registered;
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
