// libFuzzer target for the whole load of a stored form, natively: the stream reader, the
// form-stream decoding with the ANSI (code page 932) text decoding, each record taken into
// the form's stored state by the control's own code, and the scaling at the end, on a
// screen of one of four resolutions. A stream that loads must also save into one that
// loads again, to the values saved: what the form writes, it has to read.
#include <cstdint>
#include <string>

#include "AnsiCodePage.h"
#include "Fault.h"
#include "FormStream.h"
#include "FuzzSource.h"
#include "StoredForm.h"

namespace {

class Saved : public ByteSink {
public:
    void Write(const uint8_t* bytes, size_t count) override { data.append(reinterpret_cast<const char*>(bytes), count); }
    std::string data;
};

// The height of "0" a save measures; the fuzzer has no screen to measure it on.
constexpr int32_t TextHeight = 13;

const char owner = 0;  // the one form of this process: its name never gets a suffix

// A loaded form as a save sees it: with the text height a save measures.
StoredForm AsSaved(const StoredForm& loaded)
{
    return StoredForm(&owner, loaded.state, loaded.screenPixelsPerInch, TextHeight);
}

std::string Save(const StoredForm& loaded)
{
    Saved saved;
    PropertyWriter writer(saved);
    WriteFormStream(AsSaved(loaded), writer);
    writer.Flush();
    return saved.data;
}

// Whether every value the first load's save writes comes back from the second load. What
// a save leaves out (an empty caption, a font that follows the parent's) comes back as the
// design has it; a form kept at another resolution than the screen's is scaled to the
// screen's when its save is loaded, its font height with it.
bool WrittenValuesComeBack(const StoredForm& first, const StoredForm& second)
{
    if (first.state.componentName != second.state.componentName)
        return false;
    const bool rescaled = first.state.pixelsPerInch != 0 && first.state.pixelsPerInch != first.screenPixelsPerInch;
    const StoredForm a = AsSaved(first), b = AsSaved(second);
    for (const StoredAttribute& attribute : StoredAttributes()) {
        const std::string name = attribute.name;
        StoredValue saved, reloaded;
        if (!attribute.written || !attribute.written(a, saved))
            continue;
        if (rescaled && (name == "PixelsPerInch" || name == "Font.Height"))
            continue;
        if (!attribute.written(b, reloaded) || !(saved == reloaded))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int32_t screens[] = {96, 120, 144, 72};
    const int32_t screen = screens[(data[0] >> 3) % 4];
    FuzzSource source(data + 1, size - 1, ReadStep(data[0]));
    PropertyReader reader(source, FromCodePage932);
    StoredForm form(&owner, FormState(screen), screen);
    bool loaded = true;
    try {
        ReadFormStream(reader, form);
        form.FinishLoad();
    } catch (const Fault&) {
        loaded = false;
    }
    if (reader.Unconsumed() > source.delivered())
        __builtin_trap();
    if (!loaded)
        return 0;

    const std::string saved = Save(form);
    FuzzSource again(reinterpret_cast<const uint8_t*>(saved.data()), saved.size(), 4096);
    PropertyReader rereader(again, FromCodePage932);
    StoredForm reloaded(&owner, FormState(screen), screen);
    try {
        ReadFormStream(rereader, reloaded);
        reloaded.FinishLoad();
    } catch (const Fault&) {
        __builtin_trap();  // the form saved what it cannot load
    }
    if (rereader.Unconsumed() != 0)
        __builtin_trap();
    if (!WrittenValuesComeBack(form, reloaded))
        __builtin_trap();  // the saved stream loads to other values
    return 0;
}
