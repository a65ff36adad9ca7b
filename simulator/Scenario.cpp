#include "Scenario.h"

#include <charconv>
#include <cstring>
#include <sstream>

#include "ReaderSimulator.h"

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

// The next word as a decimal number within [low, high].
bool Number(std::istringstream& words, long long low, long long high, long long& value)
{
    std::string word;
    if (!(words >> word))
        return false;
    const char* end = word.data() + word.size();
    const auto [stop, failure] = std::from_chars(word.data(), end, value);
    return failure == std::errc() && stop == end && value >= low && value <= high;
}

// The call a word names, or SimEntryPointCount.
int Call(std::istringstream& words)
{
    std::string word;
    words >> word;
    int call = 0;
    while (call < SimEntryPointCount && word != ScenarioCallNames[call])
        ++call;
    return call;
}

// A line echoed in a message: a hostile file's line can be a megabyte long.
std::string Shown(const std::string& line)
{
    constexpr size_t Longest = 80;
    return line.size() <= Longest ? line : line.substr(0, Longest) + "...";
}

}  // namespace

bool ParseScenario(const std::string& text, std::vector<SimScript>& steps, std::string& error)
{
    std::vector<SimScript> parsed{DefaultSimulatorScript()};
    std::istringstream lines(text);
    std::string line;
    for (size_t number = 1; std::getline(lines, line); ++number) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword))
            continue;
        if (keyword == "step" && parsed.size() == MaxScenarioSteps) {
            error = "line " + std::to_string(number) + ": more than " + std::to_string(MaxScenarioSteps) +
                    " steps, which is more than a scenario may hold";
            return false;
        }
        SimScript& script = parsed.back();
        bool understood = false;
        size_t count = 0;
        long long value = 0;
        if (keyword == "step") {
            parsed.push_back(DefaultSimulatorScript());
            understood = true;
        } else if (keyword == "card") {
            std::string answer;
            words >> answer;
            std::istringstream asNumber(answer);
            if (answer == "yes" || answer == "no") {
                script.numberOfCards = answer == "yes" ? 1 : 0;
                understood = true;
            } else if (Number(asNumber, 0, 255, value)) {
                script.numberOfCards = static_cast<uint8_t>(value);
                understood = true;
            }
        } else if (keyword == "idm" || keyword == "pmm") {
            uint8_t bytes[8] = {};
            understood = Bytes(words, bytes, 8, count) && count == 8;
            if (understood)
                std::memcpy(keyword == "idm" ? script.idm : script.pmm, bytes, 8);
        } else if (keyword == "block") {
            uint8_t block[16] = {};
            understood = Bytes(words, block, 16, count);
            if (understood)
                std::memcpy(script.blockData, block, 16);
        } else if (keyword == "status" || keyword == "status2") {
            understood = Number(words, 0, 255, value);
            if (understood)
                (keyword == "status" ? script.statusFlag1 : script.statusFlag2) = static_cast<uint8_t>(value);
        } else if (keyword == "fail") {
            const int call = Call(words);
            understood = call < SimEntryPointCount && Number(words, INT32_MIN, INT32_MAX, value);
            if (understood) {
                script.results[call] = 0;
                script.errorCodes[call] = static_cast<int32_t>(value);
            }
        } else if (keyword == "result") {
            const int call = Call(words);
            understood = call < SimEntryPointCount && Number(words, 0, UINT32_MAX, value);
            if (understood)
                script.results[call] = static_cast<uint32_t>(value);
        } else if (keyword == "silent") {
            switch (Call(words)) {
            case SimPollingAndGetCardInformation: script.writesPollOutputs = 0; understood = true; break;
            case SimReadBlockWithoutEncryption: script.writesReadOutputs = 0; understood = true; break;
            case SimGetLastErrorType: script.writesErrorCode = 0; understood = true; break;
            default: break;
            }
        }
        std::string rest;
        if (understood && (words >> rest))
            understood = false;
        if (!understood) {
            error = "line " + std::to_string(number) + ": " + Shown(line);
            return false;
        }
    }
    steps = std::move(parsed);
    return true;
}
