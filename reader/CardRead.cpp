#include "CardRead.h"

#include <array>
#include <cstring>
#include <exception>
#include <mutex>  // std::lock_guard

#include "Fault.h"
#include "Lock.h"
#include "ReaderErrorMessages.h"

namespace {

constexpr uint8_t EdyServiceCode[2] = {0x0B, 0x11};   // 0x110B, low byte first
constexpr uint8_t OtherServiceCode[2] = {0x8B, 0x1A}; // 0x1A8B
constexpr uint8_t FirstBlock[2] = {0x80, 0x00};       // two-byte element, block 0

// The library is one process-wide resource with one reader/writer behind it: two reads
// interleaving their calls would start, poll and close under each other's feet.
Lock readLock;

std::u16string BytesAsCharacters(const uint8_t* bytes, size_t count)
{
    return std::u16string(bytes, bytes + count);
}

// Packed decimal: each nibble in decimal, so 0xAB gives "1011".
std::u16string NibblesAsDecimal(const uint8_t* bytes, size_t count)
{
    std::u16string text;
    text.reserve(count * 4);
    for (size_t i = 0; i < count; ++i) {
        for (unsigned nibble : {unsigned(bytes[i] >> 4), unsigned(bytes[i] & 0x0F)}) {
            if (nibble >= 10)
                text += u'1';
            text += static_cast<char16_t>(u'0' + nibble % 10);
        }
    }
    return text;
}

// Polls and reads block 0; fills IDm and card_ID on a good read.
void PollAndRead(const ReaderEntryPoints& library, std::u16string_view ctype, TCard_Data& card)
{
    const bool edy = ctype == u"EDY";
    std::array<uint8_t, 2> systemCode = {0xFE, 0x00};
    std::array<uint8_t, 8> idm{};  // zeros in case a faulty library reports a card without its IDm
    std::array<uint8_t, 8> pmm{};
    std::array<uint8_t, 16> blockData{};
    uint8_t numberOfCards = 0;

    TPolling_Param polling{};
    polling.system_code = systemCode.data();
    polling.time_slot = 0;
    TCard_Info cardInfo{};
    cardInfo.card_idm = idm.data();
    cardInfo.card_pmm = pmm.data();
    if (library.polling_and_get_card_information(&polling, &numberOfCards, &cardInfo) == 0) {
        SetLastReaderError(library, card);
        return;
    }
    if (numberOfCards == 0) {
        card.C_Error = true;
        card.Err_Mes = u"カードが読み取れません";
        return;
    }

    std::array<uint8_t, 2> serviceCode;
    std::memcpy(serviceCode.data(), edy ? EdyServiceCode : OtherServiceCode, 2);
    std::array<uint8_t, 2> blockList = {FirstBlock[0], FirstBlock[1]};
    // Preset to "not read": a library that fails without writing the flag must not
    // pass for a good read of an all-zero block.
    uint8_t statusFlag1 = 0xFF;
    uint8_t statusFlag2 = 0;
    uint8_t blocksReturned = 0;

    TRead_Param read{};
    read.card_idm = idm.data();
    read.number_of_services = 1;
    read.service_code_list = serviceCode.data();
    read.number_of_blocks = 1;
    read.block_list = blockList.data();
    TRead_Result result{};
    result.status_flag_1 = &statusFlag1;
    result.status_flag_2 = &statusFlag2;
    result.result_number_of_blocks = &blocksReturned;
    result.block_data = blockData.data();
    library.read_block_without_encryption(&read, &result);  // judged by status flag 1 alone
    if (statusFlag1 != 0) {
        card.C_Error = true;
        card.Err_Mes = u"IDが読み取れません";
        return;
    }

    card.IDm = BytesAsCharacters(idm.data(), idm.size());
    card.card_ID = edy ? NibblesAsDecimal(blockData.data() + 2, 8) : BytesAsCharacters(blockData.data(), 10);
}

// Ends what an earlier step began when the scope ends, also when an exception leaves it (a
// failed allocation while forming the texts): the reader must not stay open. Unwinding, it
// only makes the call, since the exception already stands for the read.
class ClosingStep {
public:
    ClosingStep(const ReaderEntryPoints& library, ReaderResult(READER_CALL* step)(), TCard_Data& card)
        : library_(library), step_(step), card_(card), exceptions_(std::uncaught_exceptions())
    {
    }
    ClosingStep(const ClosingStep&) = delete;
    ClosingStep& operator=(const ClosingStep&) = delete;
    ~ClosingStep() noexcept(false)
    {
        if (step_() == 0 && std::uncaught_exceptions() == exceptions_)
            SetLastReaderError(library_, card_);
    }

private:
    const ReaderEntryPoints& library_;
    ReaderResult(READER_CALL* step_)();
    TCard_Data& card_;
    const int exceptions_;
};

}  // namespace

void ReadCard(ReaderBinder bind, std::u16string_view ctype, TCard_Data& card)
{
    std::lock_guard<Lock> serialised(readLock);
    const ReaderEntryPoints library = bind();
    if (!library.complete())
        throw Fault(u"FeliCa ライブラリ (felica.dll) を読み込めません");

    card.C_Error = false;
    card.Err_Mes.clear();
    if (library.initialize_library() == 0) {
        SetLastReaderError(library, card);
        return;
    }
    const ClosingStep dispose(library, library.dispose_library, card);
    if (library.open_reader_writer_auto() == 0) {
        SetLastReaderError(library, card);
        return;
    }
    const ClosingStep close(library, library.close_reader_writer, card);
    PollAndRead(library, ctype, card);
}
