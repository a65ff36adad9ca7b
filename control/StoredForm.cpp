#include "StoredForm.h"

#include "FormNames.h"
#include "StoredAttributes.h"

StoredForm::StoredForm(const void* owner, const FormState& state, int32_t screenPixelsPerInch, int32_t textHeight)
    : state(state), screenPixelsPerInch(screenPixelsPerInch), textHeight(textHeight), owner_(owner)
{
}

void StoredForm::SetInstanceName(const std::u16string& name) { state.componentName = FormNames::Claim(owner_, name); }

void StoredForm::Set(const StoredAttribute& attribute, const StoredValue& value) { attribute.take(*this, value); }

void StoredForm::FinishLoad()
{
    FormFont& font = state.font;
    if (state.pixelsPerInch != 0 && textHeight > 0) {
        if (font.height() != state.fontHeightAtLastLoad && state.pixelsPerInch != screenPixelsPerInch)
            font.setHeight(MulDiv32(font.height(), screenPixelsPerInch, state.pixelsPerInch));
        state.pixelsPerInch = screenPixelsPerInch;
        // The form has no scroll ranges, constraints or child controls to scale by the
        // change of text height.
    }
    state.fontHeightAtLastLoad = font.height();
}
