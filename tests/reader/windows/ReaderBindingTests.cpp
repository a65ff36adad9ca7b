// The binding of the installed reader library, with the simulator DLL at the library's
// fixed paths inside the test prefix. The binding is process-wide and never unloads,
// so each search runs in a child process: this program started again with --probe.
#include <gtest/gtest.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../../../base/Fault.h"
#include "../../support/SimulatorDll.h"

namespace fs = std::filesystem;

namespace {

const fs::path First = ReaderLibraryPaths[0];
const fs::path Second = ReaderLibraryPaths[1];

std::string Narrow(const std::u16string& text)
{
    std::string narrow;
    for (char16_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

// Child side: reads `reads` cards and reports each outcome, the loaded library and how
// many calls it saw. After the first read, "move" moves the loaded file away, and "replace"
// puts the simulator of this process's processor at the first path.
int Probe(int reads, const std::string& afterFirst)
{
    for (int i = 0; i < reads; ++i) {
        TCard_Data card;
        try {
            ReadCard(u"EDY", card);
            std::printf("read %s %s\n", card.C_Error ? "failed" : "ok", Narrow(card.card_ID).c_str());
        } catch (const Fault&) {
            std::printf("read fault\n");
        }
        if (i == 0 && afterFirst == "replace")
            InstallSimulator(First);
        if (i == 0 && afterFirst == "move") {
            const fs::path loaded = LoadedReaderLibrary();
            std::error_code error;
            fs::rename(loaded, fs::path(loaded) += ".moved", error);
            std::printf("moved %s\n", error ? "no" : "yes");
        }
    }
    const auto callCount = SimulatorExport<int32_t (*)()>("sim_call_count");
    std::printf("module %s\ncalls %d\n", LoadedReaderLibrary().c_str(), callCount ? callCount() : -1);
    return 0;
}

class ReaderBinding : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const fs::path& path : {First, Second}) {
            fs::remove_all(path);
            fs::remove_all(fs::path(path) += ".moved");
            fs::create_directories(path.parent_path());
        }
    }
    void TearDown() override { SetUp(); }

    static std::string ProbeRun(const std::wstring& arguments)
    {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        const ChildResult child = RunChild(L"\"" + std::wstring(self) + L"\" --probe " + arguments);
        EXPECT_EQ(child.exitCode, 0u) << child.output;
        return child.output;
    }

    static std::string Module(const fs::path& path) { return "module " + path.string() + "\n"; }
};

const char GoodRead[] = "read ok 2160012345678901\n";

TEST_F(ReaderBinding, BothPathsPresentTheFirstWins)
{
    InstallSimulator(First);
    InstallSimulator(Second);
    EXPECT_EQ(ProbeRun(L"1"), GoodRead + Module(First) + "calls 6\n");
}

TEST_F(ReaderBinding, OnlyTheSecondPath)
{
    InstallSimulator(Second);
    EXPECT_EQ(ProbeRun(L"1"), GoodRead + Module(Second) + "calls 6\n");
}

TEST_F(ReaderBinding, ADirectoryAtTheFirstPathDoesNotCount)
{
    fs::create_directory(First);
    InstallSimulator(Second);
    EXPECT_EQ(ProbeRun(L"1"), GoodRead + Module(Second) + "calls 6\n");
}

TEST_F(ReaderBinding, NeitherPathFaultsEveryRead)
{
    EXPECT_EQ(ProbeRun(L"2"), "read fault\nread fault\nmodule none\ncalls -1\n");
}

TEST_F(ReaderBinding, ALibraryLackingAnEntryPointIsNeverCalled)
{
    InstallSimulator(First, L"simulator-incomplete");
    EXPECT_EQ(ProbeRun(L"1"), "read fault\n" + Module(First) + "calls 0\n");
}

TEST_F(ReaderBinding, ALibraryForTheOtherProcessorIsPassedOver)
{
    enum Library { None, Own, Other };
    const auto install = [](Library library, const fs::path& at) {
        if (library == Own)
            InstallSimulator(at);
        else if (library == Other)
            InstallOtherProcessorLibrary(at);
    };
    const std::string fault = "read fault\nmodule none\ncalls -1\n";
    const struct {
        const char* name;
        Library first, second;
        std::string expected;
    } cases[] = {
        {"other at the first path, own at the second", Other, Own, GoodRead + Module(Second) + "calls 6\n"},
        {"own at the first path, other at the second", Own, Other, GoodRead + Module(First) + "calls 6\n"},
        {"other at the first path alone", Other, None, fault},
        {"other at the second path alone", None, Other, fault},
        {"other at both paths", Other, Other, fault},
    };
    for (const auto& c : cases) {
        SetUp();
        install(c.first, First);
        install(c.second, Second);
        EXPECT_EQ(ProbeRun(L"1"), c.expected) << c.name;
    }
}

// The verdict on a file's header is kept between reads only while the file stays the same.
TEST_F(ReaderBinding, ALibraryReplacedBetweenReadsIsJudgedAgain)
{
    InstallOtherProcessorLibrary(First);
    EXPECT_EQ(ProbeRun(L"2 replace"), std::string("read fault\n") + GoodRead + Module(First) + "calls 6\n");
}

// A file at the first path that Windows will not load: the read faults (no other path is tried:
// the file claims to be the library), and the file put right is used at the next read.
TEST_F(ReaderBinding, AFileThatDoesNotLoadFaultsUntilItIsReplaced)
{
    const struct {
        const char* name;
        void (*make)(const fs::path& at);
    } cases[] = {
        {"not an image",
         [](const fs::path& at) { std::ofstream(at, std::ios::binary) << "felica.dll, but only in name\r\n"; }},
        {"an image of our processor cut short",
         [](const fs::path& at) {
             InstallSimulator(at);
             fs::resize_file(at, 1024);  // the headers stand, the sections are gone
         }},
    };
    for (const auto& c : cases) {
        SetUp();
        c.make(First);
        InstallSimulator(Second);
        EXPECT_EQ(ProbeRun(L"2 replace"), std::string("read fault\n") + GoodRead + Module(First) + "calls 6\n")
            << c.name;
    }
}

TEST_F(ReaderBinding, TheLoadedLibraryOutlivesItsFile)
{
    InstallSimulator(First);
    EXPECT_EQ(ProbeRun(L"3 move"),
              GoodRead + std::string("moved yes\n") + GoodRead + GoodRead + Module(First) + "calls 18\n");
    EXPECT_FALSE(fs::exists(First));
}

}  // namespace

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);  // the parent compares the text as printed
    if (argc >= 3 && std::strcmp(argv[1], "--probe") == 0)
        return Probe(std::atoi(argv[2]), argc >= 4 ? argv[3] : "");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
