// TTavrix: the stored form applied to the form once a load has read it.
#include "TTavrix.h"

#include <string>

void TTavrix::ApplyLoaded(const FormState& loaded)
{
    // The changes below reach the window and may raise events, whose handlers may drop the
    // last reference to the control.
    Microsoft::WRL::ComPtr<IUnknown> keepAlive;
    if (live_)
        keepAlive = controller_;

    // The values without an effect on the window are taken at once; the others keep theirs
    // until their turn below.
    FormState taken = loaded;
    taken.bounds = state_.bounds;
    taken.alignWithMargins = state_.alignWithMargins;
    taken.autoSize = state_.autoSize;
    taken.borderStyle = state_.borderStyle;
    taken.borderWidth = state_.borderWidth;
    taken.caption = state_.caption;
    taken.color = state_.color;
    taken.font = state_.font;
    taken.autoScroll = state_.autoScroll;
    taken.visible = state_.visible;
    taken.enabled = state_.enabled;
    taken.popupMode = state_.popupMode;
    taken.dockSite = state_.dockSite;
    taken.doubleBuffered = state_.doubleBuffered;
    taken.useDockManager = state_.useDockManager;
    state_ = taken;  // the font's values are its own still: no change announced

    // In the order a stream lists them, so that the events come as each record's own setter
    // would raise them.
    if (loaded.bounds != state_.bounds)
        Place(loaded.bounds);
    ChangeAlignWithMargins(loaded.alignWithMargins);
    ChangeAutoSize(loaded.autoSize);
    if (loaded.borderStyle != state_.borderStyle) {
        // One new window for both: a new border, and the owner a new pop-up mode asks for.
        TakePopupMode(loaded.popupMode);
        ChangeBorderStyle(loaded.borderStyle);
    }
    ChangeBorderWidth(loaded.borderWidth);
    ChangeCaption(loaded.caption);
    ChangeColor(loaded.color);
    state_.font = loaded.font;  // one change, announced once
    ChangeAutoScroll(loaded.autoScroll);
    if (loaded.visible != state_.visible)
        SetVisible(loaded.visible);
    ChangeEnabled(loaded.enabled);
    ChangePopupMode(loaded.popupMode);
    ChangeDockSite(loaded.dockSite);
    ChangeDoubleBuffered(loaded.doubleBuffered);
    state_.parentDoubleBuffered = loaded.parentDoubleBuffered;  // a change of buffering clears it
    ChangeUseDockManager(loaded.useDockManager);
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
