#include "FormState.h"

FormState::FormState(int32_t screenPixelsPerInch) : font(screenPixelsPerInch), pixelsPerInch(screenPixelsPerInch)
{
    if (screenPixelsPerInch != 96)
        font.setHeight(MulDiv32(font.height(), screenPixelsPerInch, 96));
    fontHeightAtLastLoad = font.height();
}

void FormState::SetScaled(bool scaled, int32_t screenPixelsPerInch)
{
    if (scaled != (pixelsPerInch != 0))
        pixelsPerInch = scaled ? screenPixelsPerInch : 0;
}

void FormState::SetPixelsPerInch(int32_t value, int32_t effectivePixelsPerInch)
{
    if (value != effectivePixelsPerInch && (value == 0 || value > 35))
        pixelsPerInch = value;
}

bool FormState::SetDoubleBuffered(bool value)
{
    if (value == doubleBuffered)
        return false;
    doubleBuffered = value;
    parentDoubleBuffered = false;
    return true;
}
