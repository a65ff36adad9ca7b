// libFuzzer target for the whole load of a stored form, natively: the stream reader, the
// form-stream decoding with the ANSI (code page 932) text decoding, every Set reaching a
// stand-in of the form, and FinishLoad. A stream that loads must also save into one that
// loads again: what the form writes, it has to read.
#include <cstdint>

#include "AnsiCodePage.h"
#include "Fault.h"
#include "FormStandIn.h"
#include "FormStream.h"
#include "FuzzSource.h"

namespace {

class Saved : public ByteSink {
public:
    void Write(const uint8_t* bytes, size_t count) override { data.append(reinterpret_cast<const char*>(bytes), count); }
    std::string data;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int32_t screens[] = {96, 120, 144, 72};
    const int32_t screen = screens[(data[0] >> 3) % 4];
    FuzzSource source(data + 1, size - 1, ReadStep(data[0]));
    PropertyReader reader(source, FromCodePage932);
    FormStandIn form(screen);
    bool loaded = true;
    try {
        form.FinishLoad(ReadFormStream(reader, form));
    } catch (const Fault&) {
        loaded = false;
    }
    if (reader.Unconsumed() > source.delivered())
        __builtin_trap();
    if (!loaded)
        return 0;

    Saved saved;
    PropertyWriter writer(saved);
    WriteFormStream(form.Snapshot(), writer);
    writer.Flush();
    FuzzSource again(reinterpret_cast<const uint8_t*>(saved.data.data()), saved.data.size(), 4096);
    PropertyReader rereader(again, FromCodePage932);
    FormStandIn reloaded(screen);
    try {
        reloaded.FinishLoad(ReadFormStream(rereader, reloaded));
    } catch (const Fault&) {
        __builtin_trap();  // the form saved what it cannot load
    }
    if (rereader.Unconsumed() != 0)
        __builtin_trap();
    return 0;
}
