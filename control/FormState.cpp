#include "FormState.h"

FormState::FormState(int32_t screenPixelsPerInch) : font(screenPixelsPerInch), pixelsPerInch(screenPixelsPerInch)
{
    if (screenPixelsPerInch != 96)
        font.setHeight(MulDiv32(font.height(), screenPixelsPerInch, 96));
    fontHeightAtLastLoad = font.height();
}
