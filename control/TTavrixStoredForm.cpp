// TTavrix: the stored form, what a property stream records of it and how it is read back.
#include "TTavrix.h"

#include <string>

#include "Bstr.h"
#include "DisplayResolution.h"
#include "FaultReporting.h"
#include "FormNames.h"

FormSnapshot TTavrix::Snapshot() const
{
    FormSnapshot form;
    form.instanceName = componentName_;
    form.tag = tag_;
    form.alignWithMargins = alignWithMargins_;
    form.left = bounds_.left;
    form.top = bounds_.top;
    form.width = bounds_.width;
    form.height = bounds_.height;
    form.parentCustomHint = parentCustomHint_;
    form.autoSize = autoSize_;
    form.axBorderStyle = borderStyle_;
    form.borderWidth = borderWidth_;
    form.caption = caption_;
    form.color = color_;
    form.followsParentColor = parentColor_;
    form.followsParentFont = parentFont_;
    form.fontCharset = font_.charset();
    form.fontColor = font_.color();
    form.fontHeight = font_.height();
    form.fontName = font_.name();
    const FontStyle style = font_.style();
    form.fontStyle = (style.bold ? FontStyleBit::Bold : 0) | (style.italic ? FontStyleBit::Italic : 0) |
                     (style.underline ? FontStyleBit::Underline : 0) | (style.strikeOut ? FontStyleBit::StrikeOut : 0);
    form.keyPreview = keyPreview_;
    form.oldCreateOrder = oldCreateOrder_;
    form.printScale = printScale_;
    form.scaled = pixelsPerInch_ != 0;
    form.explicitWidth = explicitBounds_.width;
    form.explicitHeight = explicitBounds_.height;
    form.pixelsPerInch = EffectivePixelsPerInch();
    form.textHeight = TextHeight();
    return form;
}

int32_t TTavrix::TextHeight() const
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, fontHandle_.get());
    SIZE size{};
    GetTextExtentPoint32W(dc, L"0", 1, &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cy;
}

void TTavrix::SetInstanceName(const std::u16string& name) { componentName_ = FormNames::Claim(this, name); }

void TTavrix::Set(FormProperty property, const StoredValue& value)
{
    const VARIANT_BOOL flag = value.boolean ? VARIANT_TRUE : VARIANT_FALSE;
    const int32_t number = static_cast<int32_t>(value.integer);
    FontStyle style = font_.style();
    switch (property) {
    case FormProperty::Tag: tag_ = number; break;
    case FormProperty::AlignWithMargins: put_AlignWithMargins(flag); break;
    case FormProperty::Left: SetBounds(number, bounds_.top, bounds_.width, bounds_.height); break;
    case FormProperty::Top: SetBounds(bounds_.left, number, bounds_.width, bounds_.height); break;
    case FormProperty::Width: SetBounds(bounds_.left, bounds_.top, number, bounds_.height); break;
    case FormProperty::Height: SetBounds(bounds_.left, bounds_.top, bounds_.width, number); break;
    case FormProperty::ParentCustomHint: put_ParentCustomHint(flag); break;
    case FormProperty::AutoSize: put_AutoSize(flag); break;
    case FormProperty::AxBorderStyle: put_AxBorderStyle(static_cast<TxActiveFormBorderStyle>(number)); break;
    case FormProperty::BorderWidth: put_BorderWidth(number); break;
    case FormProperty::Caption: put_Caption(Bstr(value.text).get()); break;
    case FormProperty::Color: put_Color(static_cast<OLE_COLOR>(number)); break;
    case FormProperty::FontCharset: font_.setCharset(static_cast<uint8_t>(number)); break;
    case FormProperty::FontColor: font_.setColor(static_cast<uint32_t>(number)); break;
    case FormProperty::FontHeight: font_.setHeight(number); break;
    case FormProperty::FontName: font_.setName(value.text); break;
    case FormProperty::FontSize: font_.setSize(number); break;
    case FormProperty::FontStyle:
        style = FontStyle{(number & FontStyleBit::Bold) != 0, (number & FontStyleBit::Italic) != 0,
                          (number & FontStyleBit::Underline) != 0, (number & FontStyleBit::StrikeOut) != 0};
        font_.setStyle(style);
        break;
    case FormProperty::KeyPreview: put_KeyPreview(flag); break;
    case FormProperty::OldCreateOrder: oldCreateOrder_ = value.boolean; break;
    case FormProperty::PrintScale: put_PrintScale(static_cast<TxPrintScale>(number)); break;
    case FormProperty::Scaled: put_Scaled(flag); break;
    case FormProperty::PixelsPerInch:
        if (pixelsPerInch_ != 0)  // while loading, only a scaled form takes a resolution
            put_PixelsPerInch(number);
        break;
    case FormProperty::AutoScroll: put_AutoScroll(flag); break;
    case FormProperty::Visible: put_Visible(flag); break;
    case FormProperty::Enabled: put_Enabled(flag); break;
    case FormProperty::DropTarget: put_DropTarget(flag); break;
    case FormProperty::HelpFile: put_HelpFile(Bstr(value.text).get()); break;
    case FormProperty::PopupMode: put_PopupMode(static_cast<TxPopupMode>(number)); break;
    case FormProperty::ScreenSnap: put_ScreenSnap(flag); break;
    case FormProperty::SnapBuffer: put_SnapBuffer(number); break;
    case FormProperty::DockSite: put_DockSite(flag); break;
    case FormProperty::DoubleBuffered: put_DoubleBuffered(flag); break;
    case FormProperty::ParentDoubleBuffered: put_ParentDoubleBuffered(flag); break;
    case FormProperty::UseDockManager: put_UseDockManager(flag); break;
    case FormProperty::TextHeight: break;  // used once all records are read
    case FormProperty::ExplicitLeft: explicitBounds_.left = number; break;
    case FormProperty::ExplicitTop: explicitBounds_.top = number; break;
    case FormProperty::ExplicitWidth: explicitBounds_.width = number; break;
    case FormProperty::ExplicitHeight: explicitBounds_.height = number; break;
    case FormProperty::IsControl:
    case FormProperty::DesignSize: break;  // meaningful only for forms used as controls in a design
    case FormProperty::IgnoreFontProperty: parentFont_ = value.boolean; break;
    }
}

void TTavrix::FinishLoad(int32_t storedTextHeight)
{
    if (pixelsPerInch_ != 0 && storedTextHeight > 0) {
        const int32_t screen = ScreenPixelsPerInch();
        if (font_.height() != fontHeightAtLastLoad_ && pixelsPerInch_ != screen)
            font_.setHeight(MulDiv32(font_.height(), screen, pixelsPerInch_));
        pixelsPerInch_ = screen;
        // The form has no scroll ranges, constraints or child controls to scale by the
        // change of text height.
    }
    fontHeightAtLastLoad_ = font_.height();
}
