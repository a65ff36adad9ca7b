// The form as the stored stream reaches it, without a window: every Set, FinishLoad and
// the snapshot the writer takes do to these fields what the form's own do to its state,
// through the same font and name registry, at a display resolution of the caller's.
#pragma once

#include <cstdint>
#include <string>

#include "FormFont.h"
#include "FormStream.h"

class FormStandIn : public FormStreamTarget {
public:
    explicit FormStandIn(int32_t screenPixelsPerInch);
    ~FormStandIn() override;
    FormStandIn(const FormStandIn&) = delete;
    FormStandIn& operator=(const FormStandIn&) = delete;

    void SetInstanceName(const std::u16string& name) override;
    void Set(FormProperty property, const StoredValue& value) override;
    void FinishLoad(int32_t storedTextHeight);
    FormSnapshot Snapshot() const;

private:
    struct Bounds {
        int32_t left = 0, top = 0, width = 100, height = 50;
    };
    int32_t EffectivePixelsPerInch() const { return pixelsPerInch_ != 0 ? pixelsPerInch_ : screen_; }
    void PutPixelsPerInch(int32_t value);

    const int32_t screen_;
    std::u16string componentName_, caption_, helpFile_;
    FormFont font_;
    int32_t fontHeightAtLastLoad_ = 0, pixelsPerInch_ = 0, tag_ = 0, borderWidth_ = 0, snapBuffer_ = 0;
    Bounds bounds_, explicitBounds_;
    uint32_t color_ = 0xFF00000F;
    uint8_t borderStyle_ = 1, printScale_ = 1, popupMode_ = 0;
    bool alignWithMargins_ = false, parentCustomHint_ = true, autoSize_ = false, keyPreview_ = false,
         oldCreateOrder_ = false, autoScroll_ = true, visible_ = true, enabled_ = true, dropTarget_ = false,
         screenSnap_ = false, dockSite_ = false, doubleBuffered_ = false, parentDoubleBuffered_ = false,
         useDockManager_ = false, parentColor_ = false, parentFont_ = false;
};
