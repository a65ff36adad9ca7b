#include "StoredAttributes.h"

#include <iterator>

#include "StoredForm.h"

namespace {

const char* const BorderStyles[] = {"afbNone", "afbSingle", "afbSunken", "afbRaised"};
const char* const PrintScales[] = {"poNone", "poProportional", "poPrintToFit"};
const char* const PopupModes[] = {"pmNone", "pmAuto", "pmExplicit"};
const char* const FontStyles[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};

using Form = StoredForm;
using Value = StoredValue;

int32_t Number(const Value& v) { return static_cast<int32_t>(v.integer); }

bool Integer(Value& out, int64_t value)
{
    out.integer = value;
    return true;
}

bool Flag(Value& out, bool value)
{
    out.boolean = value;
    out.integer = value ? 1 : 0;
    return true;
}

bool Text(Value& out, const std::u16string& text)
{
    out.text = text;
    return true;
}

FontStyle StyleOf(int32_t bits)
{
    return FontStyle{(bits & FontStyleBit::Bold) != 0, (bits & FontStyleBit::Italic) != 0,
                     (bits & FontStyleBit::Underline) != 0, (bits & FontStyleBit::StrikeOut) != 0};
}

int64_t BitsOf(FontStyle style)
{
    return (style.bold ? FontStyleBit::Bold : 0) | (style.italic ? FontStyleBit::Italic : 0) |
           (style.underline ? FontStyleBit::Underline : 0) | (style.strikeOut ? FontStyleBit::StrikeOut : 0);
}

// Whether the form writes its font: not while it follows its parent's.
bool FontWritten(const Form& f) { return !f.state.parentFont; }

constexpr ValueKind Integral = ValueKind::Integer, Boolean = ValueKind::Boolean, Enumeration = ValueKind::Enumeration;

const StoredAttribute Attributes[] = {
    {"Tag", Integral, {}, [](Form& f, const Value& v) { f.state.tag = Number(v); },
     [](const Form& f, Value& v) { return f.state.tag != 0 && Integer(v, f.state.tag); }},
    {"AlignWithMargins", Boolean, {}, [](Form& f, const Value& v) { f.state.alignWithMargins = v.boolean; },
     [](const Form& f, Value& v) { return f.state.alignWithMargins && Flag(v, true); }},
    {"Left", Integral, {}, [](Form& f, const Value& v) {
         const FormBounds b = f.state.bounds;
         f.state.SetBounds({Number(v), b.top, b.width, b.height});
     },
     [](const Form& f, Value& v) { return Integer(v, f.state.bounds.left); }},
    {"Top", Integral, {}, [](Form& f, const Value& v) {
         const FormBounds b = f.state.bounds;
         f.state.SetBounds({b.left, Number(v), b.width, b.height});
     },
     [](const Form& f, Value& v) { return Integer(v, f.state.bounds.top); }},
    {"Width", Integral, {}, [](Form& f, const Value& v) {
         const FormBounds b = f.state.bounds;
         f.state.SetBounds({b.left, b.top, Number(v), b.height});
     },
     [](const Form& f, Value& v) { return Integer(v, f.state.bounds.width); }},
    {"Height", Integral, {}, [](Form& f, const Value& v) {
         const FormBounds b = f.state.bounds;
         f.state.SetBounds({b.left, b.top, b.width, Number(v)});
     },
     [](const Form& f, Value& v) { return Integer(v, f.state.bounds.height); }},
    {"ParentCustomHint", Boolean, {}, [](Form& f, const Value& v) { f.state.parentCustomHint = v.boolean; },
     [](const Form& f, Value& v) { return !f.state.parentCustomHint && Flag(v, false); }},
    {"AutoSize", Boolean, {}, [](Form& f, const Value& v) { f.state.autoSize = v.boolean; },
     [](const Form& f, Value& v) { return f.state.autoSize && Flag(v, true); }},
    {"AxBorderStyle", Enumeration, BorderStyles,
     [](Form& f, const Value& v) { f.state.borderStyle = static_cast<uint8_t>(Number(v)); },
     [](const Form& f, Value& v) {
         return f.state.borderStyle != 1 && f.state.borderStyle < std::size(BorderStyles) &&
                Integer(v, f.state.borderStyle);
     }},
    {"BorderWidth", Integral, {}, [](Form& f, const Value& v) { f.state.borderWidth = Number(v); },
     [](const Form& f, Value& v) { return f.state.borderWidth != 0 && Integer(v, f.state.borderWidth); }},
    {"Caption", ValueKind::Text, {}, [](Form& f, const Value& v) { f.state.caption = v.text; },
     [](const Form& f, Value& v) { return !f.state.caption.empty() && Text(v, f.state.caption); }},
    // Colours are the 32-bit values taken as signed: system colours are negative.
    {"Color", ValueKind::Color, {}, [](Form& f, const Value& v) { f.state.color = static_cast<uint32_t>(Number(v)); },
     [](const Form& f, Value& v) { return !f.state.parentColor && Integer(v, static_cast<int32_t>(f.state.color)); }},
    {"Font.Charset", ValueKind::Charset, {},
     [](Form& f, const Value& v) { f.state.font.setCharset(static_cast<uint8_t>(Number(v))); },
     [](const Form& f, Value& v) { return FontWritten(f) && Integer(v, f.state.font.charset()); }},
    {"Font.Color", ValueKind::Color, {},
     [](Form& f, const Value& v) { f.state.font.setColor(static_cast<uint32_t>(Number(v))); },
     [](const Form& f, Value& v) { return FontWritten(f) && Integer(v, static_cast<int32_t>(f.state.font.color())); }},
    {"Font.Height", Integral, {}, [](Form& f, const Value& v) { f.state.font.setHeight(Number(v)); },
     [](const Form& f, Value& v) { return FontWritten(f) && Integer(v, f.state.font.height()); }},
    {"Font.Name", ValueKind::Text, {}, [](Form& f, const Value& v) { f.state.font.setName(v.text); },
     [](const Form& f, Value& v) { return FontWritten(f) && !f.state.font.name().empty() && Text(v, f.state.font.name()); }},
    {"Font.Style", ValueKind::Set, FontStyles, [](Form& f, const Value& v) { f.state.font.setStyle(StyleOf(Number(v))); },
     [](const Form& f, Value& v) { return FontWritten(f) && Integer(v, BitsOf(f.state.font.style())); }},
    {"Font.Size", Integral, {}, [](Form& f, const Value& v) { f.state.font.setSize(Number(v)); }, nullptr},
    {"KeyPreview", Boolean, {}, [](Form& f, const Value& v) { f.state.keyPreview = v.boolean; },
     [](const Form& f, Value& v) { return f.state.keyPreview && Flag(v, true); }},
    {"OldCreateOrder", Boolean, {}, [](Form& f, const Value& v) { f.state.oldCreateOrder = v.boolean; },
     [](const Form& f, Value& v) { return Flag(v, f.state.oldCreateOrder); }},
    {"PrintScale", Enumeration, PrintScales,
     [](Form& f, const Value& v) { f.state.printScale = static_cast<uint8_t>(Number(v)); },
     [](const Form& f, Value& v) {
         return f.state.printScale != 1 && f.state.printScale < std::size(PrintScales) && Integer(v, f.state.printScale);
     }},
    {"Scaled", Boolean, {},
     [](Form& f, const Value& v) { f.state.SetScaled(v.boolean, f.screenPixelsPerInch); },
     [](const Form& f, Value& v) { return f.state.pixelsPerInch == 0 && Flag(v, false); }},
    {"ExplicitLeft", Integral, {}, [](Form& f, const Value& v) { f.state.explicitBounds.left = Number(v); }, nullptr},
    {"ExplicitTop", Integral, {}, [](Form& f, const Value& v) { f.state.explicitBounds.top = Number(v); }, nullptr},
    {"ExplicitWidth", Integral, {}, [](Form& f, const Value& v) { f.state.explicitBounds.width = Number(v); },
     [](const Form& f, Value& v) {
         return f.state.explicitBounds.width != f.state.bounds.width && Integer(v, f.state.explicitBounds.width);
     }},
    {"ExplicitHeight", Integral, {}, [](Form& f, const Value& v) { f.state.explicitBounds.height = Number(v); },
     [](const Form& f, Value& v) {
         return f.state.explicitBounds.height != f.state.bounds.height && Integer(v, f.state.explicitBounds.height);
     }},
    // While loading, only a scaled form takes a resolution.
    {"PixelsPerInch", Integral, {},
     [](Form& f, const Value& v) {
         if (f.state.pixelsPerInch != 0)
             f.state.SetPixelsPerInch(Number(v), f.EffectivePixelsPerInch());
     },
     [](const Form& f, Value& v) { return Integer(v, f.EffectivePixelsPerInch()); }},
    // Used once all records are read.
    {"TextHeight", Integral, {}, [](Form& f, const Value& v) { f.textHeight = Number(v); },
     [](const Form& f, Value& v) { return Integer(v, f.textHeight); }},
    // Read, never written.
    {"AutoScroll", Boolean, {}, [](Form& f, const Value& v) { f.state.autoScroll = v.boolean; }, nullptr},
    {"Visible", Boolean, {}, [](Form& f, const Value& v) { f.state.visible = v.boolean; }, nullptr},
    {"Enabled", Boolean, {}, [](Form& f, const Value& v) { f.state.enabled = v.boolean; }, nullptr},
    {"DropTarget", Boolean, {}, [](Form& f, const Value& v) { f.state.dropTarget = v.boolean; }, nullptr},
    {"HelpFile", ValueKind::Text, {}, [](Form& f, const Value& v) { f.state.helpFile = v.text; }, nullptr},
    {"PopupMode", Enumeration, PopupModes,
     [](Form& f, const Value& v) { f.state.popupMode = static_cast<uint8_t>(Number(v)); }, nullptr},
    {"ScreenSnap", Boolean, {}, [](Form& f, const Value& v) { f.state.screenSnap = v.boolean; }, nullptr},
    {"SnapBuffer", Integral, {}, [](Form& f, const Value& v) { f.state.snapBuffer = Number(v); }, nullptr},
    {"DockSite", Boolean, {}, [](Form& f, const Value& v) { f.state.dockSite = v.boolean; }, nullptr},
    {"DoubleBuffered", Boolean, {}, [](Form& f, const Value& v) { f.state.SetDoubleBuffered(v.boolean); }, nullptr},
    {"ParentDoubleBuffered", Boolean, {}, [](Form& f, const Value& v) { f.state.parentDoubleBuffered = v.boolean; },
     nullptr},
    {"UseDockManager", Boolean, {}, [](Form& f, const Value& v) { f.state.useDockManager = v.boolean; }, nullptr},
    // Meaningful only for forms used as controls in a design.
    {"IsControl", Boolean, {}, [](Form&, const Value&) {}, nullptr},
    {"DesignSize", ValueKind::Anything, {}, [](Form&, const Value&) {}, nullptr},
    // True makes the form follow its parent's font.
    {"IgnoreFontProperty", Boolean, {}, [](Form& f, const Value& v) { f.state.parentFont = v.boolean; }, nullptr},
};

}  // namespace

std::span<const StoredAttribute> StoredAttributes() { return Attributes; }
