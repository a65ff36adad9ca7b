// The form's own notifications, sent through its window so that the control object's
// message hook sees them. They lie in 0xB000 to 0xBFFF, a range never offered to the
// container's message filter.
#pragma once

#include <windows.h>

namespace FormMessage {
constexpr UINT First = 0xB000, Last = 0xBFFF;
constexpr UINT VisibleChanged = 0xB001;  // wParam: the new visibility
constexpr UINT RecreateWindow = 0xB002;  // the form needs a new window
constexpr UINT Invalidate = 0xB003;      // the form's picture changed
constexpr UINT WantSpecialKey = 0xB004;  // wParam: virtual key; nonzero answer: the form takes it
constexpr UINT DialogKey = 0xB005;       // wParam, lParam of a key-down; nonzero answer: handled
constexpr UINT ChildKey = 0xB006;        // wParam: virtual key; nonzero answer: a child claims it
constexpr UINT ReflectedBase = 0xBC00;   // plus a message number: a notification reflected back to the form
}  // namespace FormMessage

// A notification the parking window reflects back to the control that sent it.
constexpr UINT ReflectedMessageBase = 0x2000;
