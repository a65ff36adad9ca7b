// The form's state as a property stream reaches it: each record taken as the form's own
// setter would take it, the stream's scaling once all are read, and what a save writes.
// Platform-neutral: the form applies the finished state to its window in one go.
#pragma once

#include <cstdint>
#include <string>

#include "FormState.h"
#include "FormStream.h"

class StoredForm final : public FormStreamTarget {
public:
    // owner: whom an instance name read from a stream is claimed for (the form).
    // textHeight: for a save, the height of "0" in the form's font as measured; a load
    // starts from none and keeps what the stream stored.
    StoredForm(const void* owner, const FormState& state, int32_t screenPixelsPerInch, int32_t textHeight = 0);

    void SetInstanceName(const std::u16string& name) override;
    void Set(const StoredAttribute& attribute, const StoredValue& value) override;
    // After all records: a scaled form read with a stored text height takes the screen's
    // resolution, its font rescaled when the load changed it.
    void FinishLoad();

    // The resolution the form reports: its own, or the screen's when it is not scaled.
    int32_t EffectivePixelsPerInch() const
    {
        return state.pixelsPerInch != 0 ? state.pixelsPerInch : screenPixelsPerInch;
    }

    FormState state;
    const int32_t screenPixelsPerInch;
    int32_t textHeight;

private:
    const void* owner_;
};
