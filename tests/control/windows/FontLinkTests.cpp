// FontLink on real platform font objects. Wine's font objects report the size of the
// font they realise, whole pixels at 96 per inch, so sizes here are multiples of 3 points
// (whole pixels) wherever a size is read back exactly; the rounding of other sizes is
// covered by the native tests of PointsFromCy. The prefix has Wine's own fonts: "Tahoma", "Wingdings" and others.
#include <gtest/gtest.h>

#include <windows.h>

#include <olectl.h>
#include <wrl/client.h>

#include "../../../base/Bstr.h"
#include "FontLink.h"

using Microsoft::WRL::ComPtr;

namespace {

class FontLinkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

    FontLinkTest()
    {
        font.onChange = [this] {
            ++changes;
            link.Changed();
        };
    }

    static ComPtr<IFont> NewFont(const wchar_t* name, LONGLONG cy)
    {
        FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(name), {}, FW_NORMAL, DEFAULT_CHARSET, FALSE, FALSE, FALSE};
        desc.cySize.int64 = cy;
        ComPtr<IFont> object;
        EXPECT_HRESULT_SUCCEEDED(OleCreateFontIndirect(&desc, IID_IFont, reinterpret_cast<void**>(object.GetAddressOf())));
        return object;
    }

    static LONGLONG Size(IFont* object)
    {
        CY size{};
        object->get_Size(&size);
        return size.int64;
    }

    static std::u16string Name(IFont* object)
    {
        Bstr name;
        object->get_Name(name.out());
        return name.text();
    }

    FormFont font;
    FontLink link{font};
    int changes = 0;
};

TEST_F(FontLinkTest, MakeCreatesTheFormFontsObject)
{
    link.Make();
    IFont* object = link.attached();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(Name(object), u"Tahoma");
    // Asked for 8 points (80000); realised as 11 pixels, which Wine reports as 8.25 points.
    EXPECT_NEAR(static_cast<double>(Size(object)), 80000.0, 2500.0);
    SHORT weight = 0;
    object->get_Weight(&weight);
    EXPECT_EQ(weight, 400);
    EXPECT_EQ(font.size(), 8);
    EXPECT_EQ(font.height(), -11);

    font.setStyle(FontStyle{true, true, false, false});
    BOOL bold = FALSE, italic = FALSE;
    object->get_Bold(&bold);
    object->get_Italic(&italic);
    EXPECT_TRUE(bold);
    EXPECT_TRUE(italic);
}

TEST_F(FontLinkTest, AttachUpdatesTheFormFontFromTheObject)
{
    ComPtr<IFont> object = NewFont(L"Wingdings", 150000);
    object->put_Bold(TRUE);
    object->put_Strikethrough(TRUE);
    font.setColor(0x00123456);
    link.Attach(object.Get());
    EXPECT_EQ(font.name(), u"Wingdings");
    EXPECT_EQ(font.size(), 15);
    EXPECT_EQ(font.style(), (FontStyle{true, false, false, true}));
    EXPECT_EQ(font.charset(), SYMBOL_CHARSET);
    EXPECT_EQ(font.color(), 0x00123456u) << "the colour is the form font's own";
}

TEST_F(FontLinkTest, TheObjectsChangesReachTheFormFont)
{
    ComPtr<IFont> object = NewFont(L"Tahoma", 120000);
    link.Attach(object.Get());
    EXPECT_EQ(font.size(), 12);
    object->put_Name(Bstr(u"Wingdings").get());
    EXPECT_EQ(font.name(), u"Wingdings");
    CY size;
    size.int64 = 180000;
    object->put_Size(size);
    EXPECT_EQ(font.size(), 18);
    object->put_Underline(TRUE);
    EXPECT_TRUE(font.style().underline);
}

TEST_F(FontLinkTest, TheFormFontsChangesReachTheObjectWithoutBouncingBack)
{
    ComPtr<IFont> object = NewFont(L"Tahoma", 120000);
    link.Attach(object.Get());
    const int before = changes;
    font.setSize(21);
    EXPECT_EQ(Size(object.Get()), 210000);
    EXPECT_EQ(font.size(), 21);
    EXPECT_EQ(changes, before + 1) << "the object's notifications must not flow back";
    font.setName(u"Wingdings");
    EXPECT_EQ(Name(object.Get()), u"Wingdings");
    EXPECT_EQ(font.size(), 21);
    EXPECT_EQ(changes, before + 2);
}

TEST_F(FontLinkTest, AttachReplacesAndDetaches)
{
    ComPtr<IFont> first = NewFont(L"Tahoma", 120000);
    ComPtr<IFont> second = NewFont(L"Wingdings", 90000);
    link.Attach(first.Get());
    link.Attach(second.Get());
    EXPECT_EQ(link.attached(), second.Get());
    EXPECT_EQ(font.size(), 9);
    CY size;
    size.int64 = 300000;
    first->put_Size(size);
    EXPECT_EQ(font.size(), 9) << "a detached object no longer reaches the form font";

    link.Attach(nullptr);
    EXPECT_EQ(link.attached(), nullptr);
    font.setSize(12);  // nothing attached: nothing to push
    EXPECT_EQ(Size(second.Get()), 90000);
}

TEST_F(FontLinkTest, TheObjectMayOutliveTheLink)
{
    ComPtr<IFont> object = NewFont(L"Tahoma", 120000);
    {
        FormFont other;
        FontLink shortLived(other);
        shortLived.Attach(object.Get());
    }
    CY size;
    size.int64 = 160000;
    EXPECT_HRESULT_SUCCEEDED(object->put_Size(size));
}

}  // namespace
