#include "Scenario.h"

#include <cstring>
#include <sstream>
#include <vector>


namespace {

bool Bytes(std::istringstream& words, uint8_t* into, size_t capacity, size_t& count)
{
    count = 0;
    std::string word;
    while (words >> word) {
        if (count == capacity || word.size() > 2 || word.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        into[count++] = static_cast<uint8_t>(std::stoul(word, nullptr, 16));
    }
    return count > 0;
}

}  // namespace

bool ParseScenario(const std::string& text, SimScript& script, std::string& error)
{
    const struct {
        const char* name;
        SimEntryPoint entryPoint;
    } steps[] = {{"initialize", SimInitializeLibrary}, {"open", SimOpenReaderWriterAuto},
                 {"poll", SimPollingAndGetCardInformation}, {"read", SimReadBlockWithoutEncryption},
                 {"close", SimCloseReaderWriter},     {"dispose", SimDisposeLibrary}};
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword))
            continue;
        bool understood = false;
        size_t count = 0;
        if (keyword == "card") {
            std::string answer;
            words >> answer;
            understood = answer == "yes" || answer == "no";
            script.numberOfCards = answer == "yes" ? 1 : 0;
        } else if (keyword == "idm") {
            uint8_t idm[8] = {};
            understood = Bytes(words, idm, 8, count) && count == 8;
            if (understood)
                std::memcpy(script.idm, idm, 8);
        } else if (keyword == "block") {
            uint8_t block[16] = {};
            understood = Bytes(words, block, 16, count);
            if (understood)
                std::memcpy(script.blockData, block, 16);
        } else if (keyword == "status") {
            int status = -1;
            understood = static_cast<bool>(words >> status) && status >= 0 && status <= 255;
            script.statusFlag1 = static_cast<uint8_t>(status);
        } else if (keyword == "fail") {
            std::string step;
            long code = 0;
            if (words >> step >> code)
                for (const auto& s : steps)
                    if (step == s.name) {
                        script.results[s.entryPoint] = 0;
                        script.errorCodes[s.entryPoint] = static_cast<int32_t>(code);
                        understood = true;
                    }
        }
        std::string rest;
        if (understood && keyword != "idm" && keyword != "block" && (words >> rest))
            understood = false;
        if (!understood) {
            error = "line " + std::to_string(number) + ": " + line;
            return false;
        }
    }
    return true;
}
