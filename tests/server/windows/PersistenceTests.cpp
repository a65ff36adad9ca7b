// The control's persistence: the property stream through IPersistStreamInit and
// IPersistStorage, and named values through IPersistPropertyBag.
#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../../../base/Bstr.h"
#include "../../../base/ComObject.h"
#include "../../support/ServerLibrary.h"

using Microsoft::WRL::ComPtr;

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }
void ShortString(Bytes& out, const std::string& text)
{
    out.push_back(static_cast<uint8_t>(text.size()));
    Append(out, text);
}

ComPtr<IStream> MemoryStream(const Bytes& bytes = {})
{
    ComPtr<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (!bytes.empty()) {
        stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
        stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    }
    return stream;
}

ULONGLONG Position(IStream* stream)
{
    ULARGE_INTEGER position{};
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position);
    return position.QuadPart;
}

Bytes Contents(IStream* stream)
{
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    Bytes bytes(static_cast<size_t>(stat.cbSize.QuadPart));
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    return bytes;
}

Bytes Saved(IUnknown* control)
{
    ComPtr<IPersistStreamInit> persist;
    control->QueryInterface(IID_PPV_ARGS(&persist));
    ComPtr<IStream> stream = MemoryStream();
    EXPECT_EQ(persist->Save(stream.Get(), TRUE), S_OK);
    return Contents(stream.Get());
}

bool Contains(const Bytes& haystack, const Bytes& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

Bytes Record(const std::string& name, Bytes value)
{
    Bytes out;
    ShortString(out, name);
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

Bytes Stream(const std::string& instance, const std::vector<Bytes>& records)
{
    Bytes out;
    Append(out, "TPF0");
    ShortString(out, "TTavrix");
    ShortString(out, instance);
    for (const Bytes& record : records)
        out.insert(out.end(), record.begin(), record.end());
    out.push_back(0);
    out.push_back(0);
    return out;
}

HRESULT Load(IUnknown* control, IStream* stream)
{
    ComPtr<IPersistStreamInit> persist;
    control->QueryInterface(IID_PPV_ARGS(&persist));
    return persist->Load(stream);
}

class Persistence : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void SetUp() override
    {
        control = ServerLibrary::Create<IUnknown>();
        ASSERT_TRUE(control);
        control.As(&tavrix);
    }
    ComPtr<IUnknown> control;
    ComPtr<ITavrix> tavrix;
};

TEST_F(Persistence, AFreshControlSavesTheDesignStream)
{
    Bytes expected;
    Append(expected, "TPF0");
    ShortString(expected, "TTavrix");
    ShortString(expected, "Tavrix");
    const auto add = [&](const std::string& name, const Bytes& value) {
        const Bytes record = Record(name, value);
        expected.insert(expected.end(), record.begin(), record.end());
    };
    const auto identifier = [](const std::string& name) {
        Bytes value{0x07};
        ShortString(value, name);
        return value;
    };
    add("Left", {0x02, 0x00});
    add("Top", {0x02, 0x00});
    add("Width", {0x02, 0x64});
    add("Height", {0x02, 0x32});
    add("Caption", {0x06, 0x06, 'T', 'a', 'v', 'r', 'i', 'x'});
    add("Color", identifier("clBtnFace"));
    add("Font.Charset", identifier("DEFAULT_CHARSET"));
    add("Font.Color", identifier("clWindowText"));
    add("Font.Height", {0x02, 0xF5});
    add("Font.Name", {0x06, 0x06, 'T', 'a', 'h', 'o', 'm', 'a'});
    add("Font.Style", {0x0B, 0x00});
    add("OldCreateOrder", {0x08});
    add("PixelsPerInch", {0x02, 0x60});
    add("TextHeight", {0x02, 0x0D});
    expected.push_back(0x00);
    expected.push_back(0x00);
    // A second control alive would be "Tavrix_1": this one is the only one.
    EXPECT_EQ(Saved(control.Get()), expected);
}

TEST_F(Persistence, TheFormsValuesAsWritten)
{
    ComPtr<IOleObject> ole;
    control.As(&ole);
    SIZEL extent{MulDiv(300, 2540, 96), 1323};
    ole->SetExtent(DVASPECT_CONTENT, &extent);
    EXPECT_TRUE(Contains(Saved(control.Get()), Record("Width", {0x03, 0x2C, 0x01})));
    tavrix->put_Caption(Bstr(u"カード").get());
    EXPECT_TRUE(Contains(Saved(control.Get()), Record("Caption", {0x12, 3, 0, 0, 0})));
    tavrix->put_Caption(Bstr(u"Kiosk カード").get());
    EXPECT_TRUE(Contains(Saved(control.Get()), Record("Caption", {0x14, 15, 0, 0, 0})));
    tavrix->put_Color(0x00123456);
    EXPECT_TRUE(Contains(Saved(control.Get()), Record("Color", {0x04, 0x56, 0x34, 0x12, 0x00})));
    tavrix->put_Color(0x00FF0000);
    EXPECT_TRUE(Contains(Saved(control.Get()), Record("Color", {0x07, 0x06, 'c', 'l', 'B', 'l', 'u', 'e'})));
    tavrix->put_AxBorderStyle(afbSunken);
    tavrix->put_PrintScale(poPrintToFit);
    tavrix->put_Scaled(VARIANT_FALSE);
    const Bytes saved = Saved(control.Get());
    EXPECT_TRUE(Contains(saved, Record("AxBorderStyle", {0x07, 9, 'a', 'f', 'b', 'S', 'u', 'n', 'k', 'e', 'n'})));
    EXPECT_TRUE(Contains(saved, Record("PrintScale", {0x07, 12, 'p', 'o', 'P', 'r', 'i', 'n', 't', 'T', 'o', 'F',
                                                      'i', 't'})));
    EXPECT_TRUE(Contains(saved, Record("Scaled", {0x08})));
}

TEST_F(Persistence, LoadRenamesAgainstAnotherLiveForm)
{
    ComPtr<IUnknown> other = ServerLibrary::Create<IUnknown>();
    ComPtr<IStream> first = MemoryStream(Stream("Kiosk", {}));
    ASSERT_EQ(Load(control.Get(), first.Get()), S_OK);
    ComPtr<IStream> second = MemoryStream(Stream("kiosk", {}));
    ASSERT_EQ(Load(other.Get(), second.Get()), S_OK);
    Bytes name;
    ShortString(name, "kiosk_1");
    EXPECT_TRUE(Contains(Saved(other.Get()), name));
    Bytes own;
    ShortString(own, "Kiosk");
    EXPECT_TRUE(Contains(Saved(control.Get()), own)) << "a form loading its own name keeps it";
}

TEST_F(Persistence, AutoScrollIsReadButNeverWritten)
{
    ComPtr<IStream> stream = MemoryStream(Stream("Tavrix", {Record("AutoScroll", {0x09})}));
    ASSERT_EQ(Load(control.Get(), stream.Get()), S_OK);
    VARIANT_BOOL autoScroll = 0;
    tavrix->get_AutoScroll(&autoScroll);
    EXPECT_EQ(autoScroll, VARIANT_TRUE);
    Bytes name;
    ShortString(name, "AutoScroll");
    EXPECT_FALSE(Contains(Saved(control.Get()), name));
}

TEST_F(Persistence, ABadRecordFailsAndLeavesEarlierOnesApplied)
{
    const Bytes bytes = Stream("Tavrix", {Record("Caption", {0x06, 4, 'L', 'o', 'a', 'd'}),
                                          Record("Font.Shade", {0x02, 1}), Record("Width", {0x02, 10})});
    ComPtr<IStream> stream = MemoryStream(bytes);
    EXPECT_EQ(Load(control.Get(), stream.Get()), E_UNEXPECTED);
    Bstr caption;
    tavrix->get_Caption(caption.out());
    EXPECT_EQ(caption.text(), u"Load");
    ComPtr<IOleObject> ole;
    control.As(&ole);
    SIZEL extent{};
    ole->GetExtent(DVASPECT_CONTENT, &extent);
    EXPECT_EQ(extent.cx, 2646) << "the record after the bad one is not applied";

    Bytes badSignature = Stream("Tavrix", {Record("Caption", {0x06, 1, 'X'})});
    badSignature[0] = 'X';
    ComPtr<IStream> bad = MemoryStream(badSignature);
    EXPECT_EQ(Load(control.Get(), bad.Get()), E_UNEXPECTED);
    tavrix->get_Caption(caption.out());
    EXPECT_EQ(caption.text(), u"Load") << "nothing changes for a bad signature";
}

TEST_F(Persistence, AContainerStreamIsLeftRightAfterOurs)
{
    Bytes bytes = Saved(control.Get());
    const size_t ours = bytes.size();
    Append(bytes, "the container's own data that follows");
    ComPtr<IStream> stream = MemoryStream(bytes);
    ASSERT_EQ(Load(control.Get(), stream.Get()), S_OK);
    EXPECT_EQ(Position(stream.Get()), ours);

    // Also after a failure: right after the last byte used.
    const Bytes failing = Stream("Tavrix", {Record("Nope", {0x02, 1})});
    Bytes withTail = failing;
    Append(withTail, std::string(5000, 'z'));
    ComPtr<IStream> tail = MemoryStream(withTail);
    EXPECT_EQ(Load(control.Get(), tail.Get()), E_UNEXPECTED);
    EXPECT_EQ(Position(tail.Get()), 4 + 8 + 7 + 5u) << "signature, names and the name of the bad record";
}

// A memory stream whose reads fail once it has delivered a given number of chunks.
class FailingStream final : public ComObject<IStream, &IID_IStream> {
public:
    FailingStream(const Bytes& bytes, ULONG chunk, int goodReads) : inner_(MemoryStream(bytes)), chunk_(chunk),
                                                                    goodReads_(goodReads) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object && Answer(iid, IID_ISequentialStream, object))
            return S_OK;
        return ComObject::QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG count, ULONG* read) override
    {
        if (goodReads_-- <= 0)
            return STG_E_READFAULT;
        return inner_->Read(into, std::min(count, chunk_), read);
    }
    HRESULT STDMETHODCALLTYPE Write(const void* from, ULONG count, ULONG* written) override
    {
        return inner_->Write(from, count, written);
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        return inner_->Seek(move, origin, position);
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override { return inner_->SetSize(size); }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* to, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override
    {
        return inner_->CopyTo(to, count, read, written);
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override { return inner_->Commit(flags); }
    HRESULT STDMETHODCALLTYPE Revert() override { return inner_->Revert(); }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override { return inner_->Stat(stat, flags); }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    ComPtr<IStream> inner_;
    ULONG chunk_;
    int goodReads_;
};

// A read that fails brought no bytes into the buffer: the stream stays right after the
// bytes used, and is never moved back over bytes it did not deliver.
TEST_F(Persistence, AFailingContainerStreamIsLeftAfterTheBytesUsed)
{
    const size_t start = 5000;  // the container's own data before ours: room to move back wrongly
    const struct {
        const char* name;
        ULONG chunk;
        int goodReads;
        size_t used;
    } cases[] = {
        {"the first read fails", 4096, 0, 0},
        {"a read fails after a short one", 4 + 8, 1, 4 + 8},  // signature and class name
    };
    Bytes bytes(start, 'c');
    const Bytes ours = Stream("Tavrix", {});
    bytes.insert(bytes.end(), ours.begin(), ours.end());
    bytes.resize(start + 4096, 'z');
    for (const auto& c : cases) {
        const ComPtr<IStream> stream(new FailingStream(bytes, c.chunk, c.goodReads));
        LARGE_INTEGER at{};
        at.QuadPart = start;
        ASSERT_EQ(stream->Seek(at, STREAM_SEEK_SET, nullptr), S_OK);
        EXPECT_TRUE(FAILED(Load(control.Get(), stream.Get()))) << c.name;
        EXPECT_EQ(Position(stream.Get()), start + c.used) << c.name;
    }
}

TEST_F(Persistence, StorageSaveThenLoadRestoresTheForm)
{
    const std::wstring file = (std::filesystem::temp_directory_path() / L"norvane-storage.stg").wstring();
    ComPtr<IStorage> storage;
    ASSERT_EQ(StgCreateDocfile(file.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage), S_OK);
    tavrix->put_Caption(Bstr(u"保存").get());
    tavrix->put_Color(0x00336699);
    ComPtr<IOleObject> ole;
    control.As(&ole);
    SIZEL extent{5292, 2646};
    ole->SetExtent(DVASPECT_CONTENT, &extent);
    FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(L"Tahoma"), {}, FW_BOLD, DEFAULT_CHARSET, FALSE, FALSE, FALSE};
    desc.cySize.int64 = 120000;
    ComPtr<IFontDisp> font;
    OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(font.GetAddressOf()));
    tavrix->put_Font(font.Get());

    ComPtr<IPersistStorage> persist;
    ASSERT_EQ(control.As(&persist), S_OK);
    ASSERT_EQ(persist->Save(storage.Get(), TRUE), S_OK);
    ASSERT_EQ(persist->SaveCompleted(nullptr), S_OK);
    storage->Commit(STGC_DEFAULT);

    ComPtr<IUnknown> restored = ServerLibrary::Create<IUnknown>();
    ComPtr<IPersistStorage> restoring;
    restored.As(&restoring);
    ASSERT_EQ(restoring->Load(storage.Get()), S_OK);
    ComPtr<ITavrix> back;
    restored.As(&back);
    Bstr caption;
    back->get_Caption(caption.out());
    EXPECT_EQ(caption.text(), u"保存");
    OLE_COLOR color = 0;
    back->get_Color(&color);
    EXPECT_EQ(color, 0x00336699u);
    ComPtr<IOleObject> backOle;
    restored.As(&backOle);
    backOle->GetExtent(DVASPECT_CONTENT, &extent);
    EXPECT_EQ(extent.cx, 5292);
    EXPECT_EQ(extent.cy, 2646);
    ComPtr<IFontDisp> backFont;
    back->get_Font(&backFont);
    ComPtr<IFont> readable;
    backFont.As(&readable);
    CY size{};
    readable->get_Size(&size);
    EXPECT_EQ(size.int64, 120000);
    BOOL bold = FALSE;
    readable->get_Bold(&bold);
    EXPECT_TRUE(bold);

    ComPtr<IStorage> empty;
    StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE, 0, &empty);
    EXPECT_EQ(restoring->Load(empty.Get()), STG_E_FILENOTFOUND);
    storage.Reset();
    DeleteFileW(file.c_str());
}

TEST_F(Persistence, StreamInterfaceOddments)
{
    ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(control.As(&persist), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    ULARGE_INTEGER size{};
    EXPECT_EQ(persist->GetSizeMax(&size), E_NOTIMPL);
    EXPECT_EQ(persist->InitNew(), S_OK);
    CLSID classId{};
    EXPECT_EQ(persist->GetClassID(&classId), S_OK);
    EXPECT_TRUE(IsEqualGUID(classId, CLSID_Tavrix));
}

// A property bag that keeps what it is given, in order.
class MemoryBag final : public ComObject<IPropertyBag, &IID_IPropertyBag> {
public:
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override
    {
        reads.emplace_back(name);
        const auto found = values.find(name);
        if (found == values.end())
            return E_INVALIDARG;
        return VariantCopy(value, &found->second);
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* value) override
    {
        order.emplace_back(name);
        VARIANT copy;
        VariantInit(&copy);
        VariantCopy(&copy, value);
        values[name] = copy;
        return failWrites ? E_FAIL : S_OK;
    }
    ~MemoryBag()
    {
        for (auto& entry : values)
            VariantClear(&entry.second);
    }

    std::vector<std::wstring> order, reads;
    std::map<std::wstring, VARIANT> values;
    bool failWrites = false;
};

TEST_F(Persistence, ABagSaveWritesTheTwentyFourNamesInOrder)
{
    ComPtr<IPersistPropertyBag> persist;
    ASSERT_EQ(control.As(&persist), S_OK);
    ComPtr<MemoryBag> bag = new MemoryBag;
    bag->failWrites = true;  // a failing write does not stop the save
    ASSERT_EQ(persist->Save(bag.Get(), TRUE, FALSE), S_OK);
    const std::vector<std::wstring> expected = {
        L"Visible",  L"AutoScroll", L"AutoSize",   L"AxBorderStyle", L"BorderWidth", L"Caption",
        L"Color",    L"Font",       L"KeyPreview", L"PixelsPerInch", L"PrintScale",  L"Scaled",
        L"DropTarget", L"HelpFile", L"PopupMode",  L"ScreenSnap",    L"SnapBuffer",  L"DockSite",
        L"DoubleBuffered", L"ParentDoubleBuffered", L"UseDockManager", L"Enabled", L"AlignWithMargins",
        L"ParentCustomHint"};
    EXPECT_EQ(bag->order, expected);
    EXPECT_EQ(V_VT(&bag->values[L"Font"]), VT_DISPATCH);
    EXPECT_EQ(V_VT(&bag->values[L"Caption"]), VT_BSTR);
    EXPECT_EQ(persist->Save(nullptr, TRUE, FALSE), E_POINTER);
}

TEST_F(Persistence, ABagWithOnlyACaptionChangesOnlyTheCaption)
{
    ComPtr<IPersistPropertyBag> persist;
    control.As(&persist);
    ComPtr<MemoryBag> bag = new MemoryBag;
    VARIANT caption;
    V_VT(&caption) = VT_BSTR;
    V_BSTR(&caption) = SysAllocString(L"From the bag");
    bag->values[L"Caption"] = caption;
    const Bytes before = Saved(control.Get());
    ASSERT_EQ(persist->Load(bag.Get(), nullptr), S_OK);
    EXPECT_EQ(bag->reads.size(), 24u);
    Bstr read;
    tavrix->get_Caption(read.out());
    EXPECT_EQ(read.text(), u"From the bag");
    tavrix->put_Caption(Bstr(u"Tavrix").get());
    EXPECT_EQ(Saved(control.Get()), before) << "everything else as it was";

    // A value the put refuses is skipped.
    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"not a number");
    bag->values[L"SnapBuffer"] = text;
    EXPECT_EQ(persist->Load(bag.Get(), nullptr), S_OK);
    EXPECT_EQ(persist->Load(nullptr, nullptr), E_POINTER);
}

// Error information left on the thread, or none.
std::wstring ThreadErrorText()
{
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info)
        return L"(none)";
    Bstr description;
    info->GetDescription(description.out());
    const std::u16string text = description.text();
    return std::wstring(text.begin(), text.end());
}

// A load reports by its result alone: an accessor that refused a stored value leaves no error
// information behind, nor does anything from before the load, whether the load succeeds or fails.
TEST_F(Persistence, ALoadLeavesNoErrorInformationBehind)
{
    ComPtr<IPersistPropertyBag> bagPersist;
    control.As(&bagPersist);
    ComPtr<MemoryBag> bag = new MemoryBag;
    VARIANT notAFont;
    V_VT(&notAFont) = VT_DISPATCH;
    V_DISPATCH(&notAFont) = tavrix.Get();  // answers no IFont: put_Font refuses it
    tavrix->AddRef();
    bag->values[L"Font"] = notAFont;
    ASSERT_EQ(bagPersist->Load(bag.Get(), nullptr), S_OK);
    EXPECT_EQ(ThreadErrorText(), L"(none)") << "after a bag whose Font the control refused";

    const auto staleBefore = [] {
        ComPtr<ICreateErrorInfo> create;
        CreateErrorInfo(&create);
        create->SetDescription(const_cast<LPOLESTR>(L"stale"));
        ComPtr<IErrorInfo> info;
        create.As(&info);
        SetErrorInfo(0, info.Get());
    };
    const Bytes good = Saved(control.Get());
    const Bytes bad = Stream("Tavrix", {Record("Font.Shade", {0x02, 1})});
    for (const Bytes* stream : {&good, &bad}) {
        staleBefore();
        const HRESULT status = Load(control.Get(), MemoryStream(*stream).Get());
        EXPECT_EQ(SUCCEEDED(status), stream == &good);
        EXPECT_EQ(ThreadErrorText(), L"(none)") << "after a stream load that gave " << std::hex << status;
    }
}

// Forms stored by one build load in the other. The reference forms in tests/server/windows/forms
// were saved by a designed control (every kind of stored value set): a stream, a storage and a
// property bag (one "name<TAB>type<TAB>text" line per value, as text-based containers keep them).
// Each build loads them and saves the same bytes again. NORVANE_SAVE_REFERENCE_FORMS=1 writes
// them anew instead.
const std::filesystem::path Forms = NORVANE_FORMS;

Bytes FileBytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

void Design(IUnknown* control)
{
    ComPtr<ITavrix> tavrix;
    control->QueryInterface(IID_PPV_ARGS(&tavrix));
    ComPtr<IOleObject> ole;
    control->QueryInterface(IID_PPV_ARGS(&ole));
    SIZEL extent{MulDiv(320, 2540, 96), MulDiv(120, 2540, 96)};
    ole->SetExtent(DVASPECT_CONTENT, &extent);
    tavrix->put_Caption(Bstr(u"Kiosk カード 端末").get());
    tavrix->put_Color(0x00336699);
    tavrix->put_AxBorderStyle(afbSunken);
    tavrix->put_PrintScale(poPrintToFit);
    tavrix->put_Scaled(VARIANT_FALSE);
    tavrix->put_KeyPreview(VARIANT_TRUE);
    tavrix->put_HelpFile(Bstr(u"C:\\Kiosk\\kiosk.chm").get());
    tavrix->put_SnapBuffer(12);
    tavrix->put_PopupMode(pmAuto);
    tavrix->put_DoubleBuffered(VARIANT_TRUE);
    // A face every prefix has (Wine's own Tahoma): the stored name is that of the font realised.
    FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(L"Tahoma"), {}, FW_BOLD, DEFAULT_CHARSET, FALSE, FALSE, FALSE};
    desc.cySize.int64 = 120000;
    ComPtr<IFontDisp> font;
    OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(font.GetAddressOf()));
    tavrix->put_Font(font.Get());
}

// A font travels in the bag's text as its name, size, weight, character set and italic flag.
std::wstring FontText(IDispatch* dispatch)
{
    ComPtr<IFont> font;
    if (!dispatch || FAILED(dispatch->QueryInterface(IID_PPV_ARGS(&font))))
        return L"";
    Bstr name;
    CY size{};
    SHORT weight = 0, charset = 0;
    BOOL italic = FALSE;
    font->get_Name(name.out());
    font->get_Size(&size);
    font->get_Weight(&weight);
    font->get_Charset(&charset);
    font->get_Italic(&italic);
    const std::u16string face = name.text();
    std::wostringstream text;
    text << std::wstring(face.begin(), face.end()) << L',' << size.int64 << L',' << weight << L','
         << charset << L',' << italic;
    return text.str();
}

std::wstring BagText(const MemoryBag& bag)
{
    std::wstring text;
    for (const std::wstring& name : bag.order) {
        VARIANT value = bag.values.at(name);
        std::wstring shown;
        if (V_VT(&value) == VT_DISPATCH) {
            shown = FontText(V_DISPATCH(&value));
        } else {
            VARIANT converted;
            VariantInit(&converted);
            if (SUCCEEDED(VariantChangeType(&converted, &value, 0, VT_BSTR)) && V_BSTR(&converted))
                shown = V_BSTR(&converted);
            VariantClear(&converted);
        }
        text += name + L'\t' + std::to_wstring(V_VT(&value)) + L'\t' + shown + L'\n';
    }
    return text;
}

ComPtr<MemoryBag> BagFromText(const std::wstring& text)
{
    ComPtr<MemoryBag> bag = new MemoryBag;
    std::wistringstream lines(text);
    std::wstring line;
    while (std::getline(lines, line)) {
        const size_t tab = line.find(L'\t'), second = line.find(L'\t', tab + 1);
        const std::wstring name = line.substr(0, tab), shown = line.substr(second + 1);
        const auto type = static_cast<VARTYPE>(std::stoi(line.substr(tab + 1, second - tab - 1)));
        VARIANT value;
        VariantInit(&value);
        if (type == VT_DISPATCH) {
            std::wistringstream fields(shown);
            std::wstring face, field;
            std::getline(fields, face, L',');
            FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(face.c_str()), {}, 0, 0, FALSE, FALSE, FALSE};
            std::getline(fields, field, L',');
            desc.cySize.int64 = std::stoll(field);
            std::getline(fields, field, L',');
            desc.sWeight = static_cast<SHORT>(std::stoi(field));
            std::getline(fields, field, L',');
            desc.sCharset = static_cast<SHORT>(std::stoi(field));
            std::getline(fields, field, L',');
            desc.fItalic = std::stoi(field);
            V_VT(&value) = VT_DISPATCH;
            OleCreateFontIndirect(&desc, IID_IDispatch, reinterpret_cast<void**>(&V_DISPATCH(&value)));
        } else {
            VARIANT text;
            V_VT(&text) = VT_BSTR;
            V_BSTR(&text) = SysAllocStringLen(shown.data(), static_cast<UINT>(shown.size()));
            EXPECT_HRESULT_SUCCEEDED(VariantChangeType(&value, &text, 0, type)) << line;
            VariantClear(&text);
        }
        bag->values[name] = value;
    }
    return bag;
}

std::wstring FileText(const std::filesystem::path& path)
{
    const Bytes bytes = FileBytes(path);
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    return text;
}

Bytes StorageStream(IStorage* storage)
{
    ComPtr<IStream> stream;
    EXPECT_EQ(storage->OpenStream(L"CONTROLSAVESTREAM", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream), S_OK);
    return stream ? Contents(stream.Get()) : Bytes();
}

ComPtr<IStorage> TemporaryStorage()
{
    ComPtr<IStorage> storage;
    StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE, 0, &storage);
    return storage;
}

void SaveReferenceForms()
{
    ComPtr<IUnknown> control = ServerLibrary::Create<IUnknown>();
    Design(control.Get());
    const Bytes stream = Saved(control.Get());
    std::ofstream(Forms / "designed.form", std::ios::binary).write(reinterpret_cast<const char*>(stream.data()),
                                                                  static_cast<std::streamsize>(stream.size()));
    ComPtr<IStorage> storage;
    ASSERT_EQ(StgCreateDocfile((Forms / "designed.stg").c_str(),
                               STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage), S_OK);
    ComPtr<IPersistStorage> persist;
    control.As(&persist);
    ASSERT_EQ(persist->Save(storage.Get(), TRUE), S_OK);
    persist->SaveCompleted(nullptr);
    storage->Commit(STGC_DEFAULT);
    ComPtr<IPersistPropertyBag> bagPersist;
    control.As(&bagPersist);
    ComPtr<MemoryBag> bag = new MemoryBag;
    ASSERT_EQ(bagPersist->Save(bag.Get(), TRUE, TRUE), S_OK);
    const std::wstring text = BagText(*bag.Get());
    std::ofstream(Forms / "designed.bag", std::ios::binary).write(reinterpret_cast<const char*>(text.data()),
                                                                 static_cast<std::streamsize>(text.size() * sizeof(wchar_t)));
}

TEST_F(Persistence, ReferenceFormsLoadAndSaveTheSameBytes)
{
    // No other form alive: the forms keep the plain instance name.
    control.Reset();
    tavrix.Reset();
    if (std::getenv("NORVANE_SAVE_REFERENCE_FORMS")) {
        SaveReferenceForms();
        GTEST_SKIP() << "reference forms written to " << Forms.string();
    }
    const Bytes stream = FileBytes(Forms / "designed.form");
    ASSERT_GT(stream.size(), 100u);
    {
        ComPtr<IUnknown> loaded = ServerLibrary::Create<IUnknown>();
        ASSERT_EQ(Load(loaded.Get(), MemoryStream(stream).Get()), S_OK);
        EXPECT_EQ(Saved(loaded.Get()), stream);
        Bstr caption;
        ComPtr<ITavrix> tavrix;
        loaded.As(&tavrix);
        tavrix->get_Caption(caption.out());
        EXPECT_EQ(caption.text(), u"Kiosk カード 端末");
    }
    {
        ComPtr<IStorage> storage;
        ASSERT_EQ(StgOpenStorage((Forms / "designed.stg").c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE,
                                 nullptr, 0, &storage), S_OK);
        ComPtr<IUnknown> loaded = ServerLibrary::Create<IUnknown>();
        ComPtr<IPersistStorage> persist;
        loaded.As(&persist);
        ASSERT_EQ(persist->Load(storage.Get()), S_OK);
        const ComPtr<IStorage> again = TemporaryStorage();
        ASSERT_EQ(persist->Save(again.Get(), FALSE), S_OK);
        EXPECT_EQ(StorageStream(again.Get()), StorageStream(storage.Get()));
        EXPECT_EQ(StorageStream(storage.Get()), stream) << "the storage holds the same stream";
    }
    {
        const std::wstring text = FileText(Forms / "designed.bag");
        ComPtr<IUnknown> loaded = ServerLibrary::Create<IUnknown>();
        ComPtr<IPersistPropertyBag> persist;
        loaded.As(&persist);
        ASSERT_EQ(persist->Load(BagFromText(text).Get(), nullptr), S_OK);
        ComPtr<MemoryBag> again = new MemoryBag;
        ASSERT_EQ(persist->Save(again.Get(), TRUE, TRUE), S_OK);
        EXPECT_EQ(BagText(*again.Get()), text);
    }
}

// A stored form cut short (a document from the other build truncated in transit) fails to
// load, and the control goes on working.
TEST_F(Persistence, AReferenceFormCutShortFailsAndTheControlGoesOn)
{
    control.Reset();
    tavrix.Reset();
    const Bytes stream = FileBytes(Forms / "designed.form");
    ASSERT_GT(stream.size(), 100u);
    for (size_t cut : {size_t{1}, size_t{4}, size_t{12}, stream.size() / 2, stream.size() - 2, stream.size() - 1}) {
        ComPtr<IUnknown> loaded = ServerLibrary::Create<IUnknown>();
        const Bytes part(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(cut));
        EXPECT_TRUE(FAILED(Load(loaded.Get(), MemoryStream(part).Get()))) << cut;
        EXPECT_EQ(Load(loaded.Get(), MemoryStream(stream).Get()), S_OK) << cut;
        EXPECT_EQ(Saved(loaded.Get()), stream) << cut;
    }
}

}  // namespace
