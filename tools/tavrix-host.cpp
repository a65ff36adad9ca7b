// tavrix-host: tries the card read from the command line.
//
//   tavrix-host read [ctype]   one read (ctype "EDY" when left out); prints the outcome as
//                              one line of JSON and exits 0 for a good read, 1 for a failed
//                              read, 2 for a fault.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>

#include "../control/Fault.h"
#include "JsonText.h"
#include "ReaderLibrary.h"

namespace {

struct LocalFreer {
    void operator()(wchar_t** arguments) const { LocalFree(arguments); }
};

void PrintLine(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int Read(const std::u16string& ctype)
{
    TCard_Data card;
    try {
        ReadCard(ctype, card);
    } catch (const Fault& fault) {
        PrintLine("{\"fault\":" + JsonText(fault.message()) + "}");
        return 2;
    }
    const std::u16string message = card.C_Error ? card.Err_Mes : u"";
    const std::u16string cardId = card.C_Error ? u"" : card.card_ID;
    PrintLine("{\"event\":\"On_ReadData\",\"card_ID\":" + JsonText(cardId) +
              ",\"Error\":" + (card.C_Error ? "1" : "0") + ",\"Message\":" + JsonText(message) + "}");
    return card.C_Error ? 1 : 0;
}

int Usage()
{
    std::fputs("usage: tavrix-host read [ctype]\n", stderr);
    return 64;
}

}  // namespace

int main()
{
    _setmode(_fileno(stdout), _O_BINARY);  // the JSON is UTF-8 as it stands
    int count = 0;
    std::unique_ptr<wchar_t*, LocalFreer> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!arguments || count < 2)
        return Usage();
    const auto argument = [&](int i) {
        const wchar_t* text = arguments.get()[i];
        return std::u16string(text, text + std::wcslen(text));
    };
    if (argument(1) == u"read" && count <= 3)
        return Read(count == 3 ? argument(2) : u"EDY");
    return Usage();
}
