// The form's records in the property stream: which attributes are written, how each is
// read back, and the colour and character-set names. Platform-neutral.
#pragma once

#include <cstdint>
#include <string>

#include "PropertyStream.h"

// The attributes a stream may carry, the form's extra stored values included.
enum class FormProperty {
    Tag, AlignWithMargins, Left, Top, Width, Height, ParentCustomHint, AutoSize, AxBorderStyle, BorderWidth,
    Caption, Color, FontCharset, FontColor, FontHeight, FontName, FontStyle, FontSize, KeyPreview,
    OldCreateOrder, PrintScale, Scaled, PixelsPerInch, AutoScroll, Visible, Enabled, DropTarget, HelpFile,
    PopupMode, ScreenSnap, SnapBuffer, DockSite, DoubleBuffered, ParentDoubleBuffered, UseDockManager,
    TextHeight, ExplicitLeft, ExplicitTop, ExplicitWidth, ExplicitHeight, IsControl, DesignSize,
    IgnoreFontProperty
};

// A value read for one attribute, already converted by the attribute's kind.
struct StoredValue {
    int64_t integer = 0;      // integers, colours, character sets, enumeration ordinals, set bits
    bool boolean = false;
    std::u16string text;
};

// Font.Style's members, as bits in ordinal order.
namespace FontStyleBit {
constexpr uint32_t Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8;
}

// What the writer needs of the form.
struct FormSnapshot {
    std::u16string instanceName;
    int32_t tag = 0;
    bool alignWithMargins = false;
    int32_t left = 0, top = 0, width = 100, height = 50;
    bool parentCustomHint = true, autoSize = false;
    uint8_t axBorderStyle = 1;
    int32_t borderWidth = 0;
    std::u16string caption;
    uint32_t color = 0;
    bool followsParentColor = false, followsParentFont = false;
    uint8_t fontCharset = 1;
    uint32_t fontColor = 0;
    int32_t fontHeight = -11;
    std::u16string fontName;
    uint32_t fontStyle = 0;
    bool keyPreview = false, oldCreateOrder = false;
    uint8_t printScale = 1;
    bool scaled = true;
    int32_t explicitWidth = 100, explicitHeight = 50;
    int32_t pixelsPerInch = 96;
    int32_t textHeight = 13;
};

// The form while a stream is read into it.
class FormStreamTarget {
public:
    virtual ~FormStreamTarget() = default;
    // The stream's instance name; the form takes it, renamed if another form has it.
    virtual void SetInstanceName(const std::u16string& name) = 0;
    // Sets one attribute at once; may raise a fault.
    virtual void Set(FormProperty property, const StoredValue& value) = 0;
};

// Writes signature, names, the records of the property table and the two list ends.
void WriteFormStream(const FormSnapshot& form, PropertyWriter& writer);

// Reads a whole stream into target, applying each record as it comes; a malformed
// record raises a Fault, leaving the records before it applied. Gives the stored
// TextHeight, or 0 when the stream carried none.
int32_t ReadFormStream(PropertyReader& reader, FormStreamTarget& target);

// The name of a colour or character set, when it has one.
const char* ColorName(uint32_t color);
const char* CharsetName(uint8_t charset);
