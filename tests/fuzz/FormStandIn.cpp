#include "FormStandIn.h"

#include "FormNames.h"

FormStandIn::FormStandIn(int32_t screenPixelsPerInch) : screen_(screenPixelsPerInch), font_(screenPixelsPerInch)
{
    if (screen_ != 96)
        font_.setHeight(MulDiv32(font_.height(), screen_, 96));
    pixelsPerInch_ = screen_;
    fontHeightAtLastLoad_ = font_.height();
    componentName_ = FormNames::Claim(this, u"Tavrix");
    caption_ = u"Tavrix";
}

FormStandIn::~FormStandIn() { FormNames::Release(this); }

void FormStandIn::SetInstanceName(const std::u16string& name) { componentName_ = FormNames::Claim(this, name); }

void FormStandIn::PutPixelsPerInch(int32_t value)
{
    if (value != EffectivePixelsPerInch() && (value == 0 || value > 35))
        pixelsPerInch_ = value;
}

void FormStandIn::Set(FormProperty property, const StoredValue& value)
{
    const bool flag = value.boolean;
    const int32_t number = static_cast<int32_t>(value.integer);
    switch (property) {
    case FormProperty::Tag: tag_ = number; break;
    case FormProperty::AlignWithMargins: alignWithMargins_ = flag; break;
    case FormProperty::Left: explicitBounds_ = bounds_ = Bounds{number, bounds_.top, bounds_.width, bounds_.height}; break;
    case FormProperty::Top: explicitBounds_ = bounds_ = Bounds{bounds_.left, number, bounds_.width, bounds_.height}; break;
    case FormProperty::Width: explicitBounds_ = bounds_ = Bounds{bounds_.left, bounds_.top, number, bounds_.height}; break;
    case FormProperty::Height: explicitBounds_ = bounds_ = Bounds{bounds_.left, bounds_.top, bounds_.width, number}; break;
    case FormProperty::ParentCustomHint: parentCustomHint_ = flag; break;
    case FormProperty::AutoSize: autoSize_ = flag; break;  // sizing to content needs a window
    case FormProperty::AxBorderStyle: borderStyle_ = static_cast<uint8_t>(number); break;
    case FormProperty::BorderWidth: borderWidth_ = number; break;
    case FormProperty::Caption: caption_ = value.text; break;
    case FormProperty::Color: color_ = static_cast<uint32_t>(number); break;
    case FormProperty::FontCharset: font_.setCharset(static_cast<uint8_t>(number)); break;
    case FormProperty::FontColor: font_.setColor(static_cast<uint32_t>(number)); break;
    case FormProperty::FontHeight: font_.setHeight(number); break;
    case FormProperty::FontName: font_.setName(value.text); break;
    case FormProperty::FontSize: font_.setSize(number); break;
    case FormProperty::FontStyle:
        font_.setStyle(FontStyle{(number & FontStyleBit::Bold) != 0, (number & FontStyleBit::Italic) != 0,
                                 (number & FontStyleBit::Underline) != 0, (number & FontStyleBit::StrikeOut) != 0});
        break;
    case FormProperty::KeyPreview: keyPreview_ = flag; break;
    case FormProperty::OldCreateOrder: oldCreateOrder_ = flag; break;
    case FormProperty::PrintScale: printScale_ = static_cast<uint8_t>(number); break;
    case FormProperty::Scaled:
        if (flag != (pixelsPerInch_ != 0))
            pixelsPerInch_ = flag ? screen_ : 0;
        break;
    case FormProperty::PixelsPerInch:
        if (pixelsPerInch_ != 0)
            PutPixelsPerInch(number);
        break;
    case FormProperty::AutoScroll: autoScroll_ = flag; break;
    case FormProperty::Visible: visible_ = flag; break;
    case FormProperty::Enabled: enabled_ = flag; break;
    case FormProperty::DropTarget: dropTarget_ = flag; break;
    case FormProperty::HelpFile: helpFile_ = value.text; break;
    case FormProperty::PopupMode: popupMode_ = static_cast<uint8_t>(number); break;
    case FormProperty::ScreenSnap: screenSnap_ = flag; break;
    case FormProperty::SnapBuffer: snapBuffer_ = number; break;
    case FormProperty::DockSite: dockSite_ = flag; break;
    case FormProperty::DoubleBuffered:
        if (flag != doubleBuffered_) {
            doubleBuffered_ = flag;
            parentDoubleBuffered_ = false;
        }
        break;
    case FormProperty::ParentDoubleBuffered: parentDoubleBuffered_ = flag; break;
    case FormProperty::UseDockManager: useDockManager_ = flag; break;
    case FormProperty::TextHeight: break;
    case FormProperty::ExplicitLeft: explicitBounds_.left = number; break;
    case FormProperty::ExplicitTop: explicitBounds_.top = number; break;
    case FormProperty::ExplicitWidth: explicitBounds_.width = number; break;
    case FormProperty::ExplicitHeight: explicitBounds_.height = number; break;
    case FormProperty::IsControl:
    case FormProperty::DesignSize: break;
    case FormProperty::IgnoreFontProperty: parentFont_ = flag; break;
    }
}

void FormStandIn::FinishLoad(int32_t storedTextHeight)
{
    if (pixelsPerInch_ != 0 && storedTextHeight > 0) {
        if (font_.height() != fontHeightAtLastLoad_ && pixelsPerInch_ != screen_)
            font_.setHeight(MulDiv32(font_.height(), screen_, pixelsPerInch_));
        pixelsPerInch_ = screen_;
    }
    fontHeightAtLastLoad_ = font_.height();
}

FormSnapshot FormStandIn::Snapshot() const
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
    form.textHeight = 13;  // measured on a screen the stand-in has not
    return form;
}
