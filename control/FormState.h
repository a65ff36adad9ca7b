// The form's stored attributes: what a property stream records of the form and a load
// changes, with the values of the form's design. Platform-neutral: the form keeps its
// attributes here, and the whole load runs on a copy before the form applies it.
#pragma once

#include <cstdint>
#include <string>

#include "FormFont.h"

struct FormBounds {
    int32_t left = 0, top = 0, width = 100, height = 50;
    bool operator==(const FormBounds& o) const
    {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
    bool operator!=(const FormBounds& o) const { return !(*this == o); }
};

struct FormState {
    // The form as made from its design on a screen of this resolution: the design was made
    // at 96 pixels per inch, and the form takes the screen's.
    explicit FormState(int32_t screenPixelsPerInch);

    // The rules of the form's setters, which a load follows too.
    // Places the form: the bounds become its explicit bounds as well.
    void SetBounds(const FormBounds& placed) { explicitBounds = bounds = placed; }
    // A form that becomes scaled takes the screen's resolution; one that stops drops its own.
    void SetScaled(bool scaled, int32_t screenPixelsPerInch);
    // Only a change of the resolution the form reports, and only 0 or a value above 35.
    void SetPixelsPerInch(int32_t value, int32_t effectivePixelsPerInch);
    // Whether the buffering changed; a change stops the form following its parent's.
    bool SetDoubleBuffered(bool value);

    std::u16string componentName;
    int32_t tag = 0;
    bool alignWithMargins = false;
    FormBounds bounds;
    FormBounds explicitBounds;  // as last set on the form itself
    bool parentCustomHint = true;
    bool autoSize = false;
    uint8_t borderStyle = 1;  // afbSingle
    int32_t borderWidth = 0;
    std::u16string caption = u"Tavrix";
    uint32_t color = 0xFF00000F;  // button face
    FormFont font;
    bool keyPreview = false;
    bool oldCreateOrder = false;
    uint8_t printScale = 1;  // poProportional
    int32_t pixelsPerInch;  // 0: not scaled
    bool autoScroll = false;
    bool visible = false;
    bool enabled = true;
    bool dropTarget = false;
    std::u16string helpFile;
    uint8_t popupMode = 0;  // pmNone
    bool screenSnap = false;
    int32_t snapBuffer = 10;
    bool dockSite = false;
    bool doubleBuffered = false;
    bool parentDoubleBuffered = false;
    bool useDockManager = false;
    bool parentColor = false, parentFont = false;  // following the parent's colour and font
    int32_t fontHeightAtLastLoad;  // the creation counts as a load
};
