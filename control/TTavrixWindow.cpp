// TTavrix: the form's window, its class, painting and the messages behind its notifications.
#include <windowsx.h>

#include "FaultReporting.h"
#include "FormMessages.h"
#include "TTavrix.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t WindowClass[] = L"TTavrix";
constexpr uint8_t PopupAuto = 1, PopupExplicit = 2;

HINSTANCE CodeModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CodeModule), &module);
    return module;
}

}  // namespace

LRESULT CALLBACK TTavrix::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* form = static_cast<TTavrix*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        form->window_ = window;
    }
    auto* form = reinterpret_cast<TTavrix*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (form->window_ == window)
            form->window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        // A handler of the form's events may drop the last reference to the control;
        // the form stays until the message is handled.
        ComPtr<IUnknown> keepAlive;
        if (form->live_)
            keepAlive = form->controller_;
        if (form->hook_) {
            const MessageHook hook = form->hook_;  // the hook may be replaced while it runs
            return hook(message, wParam, lParam,
                        [form, window](UINT m, WPARAM w, LPARAM l) { return form->HandleMessage(window, m, w, l); });
        }
        return form->HandleMessage(window, message, wParam, lParam);
    } catch (...) {
        ShowFault(std::current_exception());
        return 0;
    }
}

void TTavrix::CreateWindowIn(HWND parent)
{
    // Once in the process, whichever thread makes the first form.
    static const ATOM registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = &TTavrix::WindowProcedure;
        windowClass.hInstance = CodeModule();
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.lpszClassName = WindowClass;
        return RegisterClassExW(&windowClass);
    }();
    (void)registered;
    HWND owner = parent;
    if (!parent) {
        // A top-level form follows its pop-up mode for its owner.
        if (state_.popupMode == PopupExplicit)
            owner = popupParent_;
        else if (state_.popupMode == PopupAuto)
            owner = foundPopupParent_ = GetActiveWindow();
    }
    CreateWindowExW(WindowExStyle(), WindowClass, std::wstring(state_.caption.begin(), state_.caption.end()).c_str(),
                    WindowStyle(parent != nullptr), state_.bounds.left, state_.bounds.top, state_.bounds.width, state_.bounds.height, owner, nullptr,
                    CodeModule(), this);
    if (!window_)
        throw PlatformFault(HRESULT_FROM_WIN32(GetLastError()), u"The form's window cannot be created");
    if (mouseInClient_) {
        // Rebuilt while the pointer counted as inside: the old window's leave tracking died
        // with it. The new one tracks the pointer, or has it leave now when it is not over it.
        POINT pointer{};
        GetCursorPos(&pointer);
        if (WindowFromPoint(pointer) == window_) {
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window_, 0};
            TrackMouseEvent(&track);
        } else {
            PostMessageW(window_, WM_MOUSELEAVE, 0, 0);
        }
    }
    if (!state_.enabled)
        EnableWindow(window_, FALSE);
    UpdateScrollRanges();
}

DWORD TTavrix::WindowStyle(bool child) const
{
    DWORD style = (child ? WS_CHILD : WS_POPUP) | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (state_.visible ? WS_VISIBLE : 0);
    style &= ~(WS_BORDER | WS_DLGFRAME);
    switch (state_.borderStyle) {
    case 1: return style | WS_BORDER;    // afbSingle
    case 3: return style | WS_DLGFRAME;  // afbRaised
    default: return style;               // afbNone, afbSunken and any other value
    }
}

DWORD TTavrix::WindowExStyle() const
{
    switch (state_.borderStyle) {
    case 2: return WS_EX_CLIENTEDGE;  // afbSunken
    case 3: return WS_EX_WINDOWEDGE;  // afbRaised
    default: return 0;
    }
}

HWND TTavrix::EnsureWindow()
{
    if (!window_)
        CreateWindowIn(parent_ ? parent_() : nullptr);
    return window_;
}

void TTavrix::DestroyWindowNow()
{
    if (window_) {
        rebuilding_ = true;
        DestroyWindow(window_);
        rebuilding_ = false;
    }
}

void TTavrix::SetVisible(bool visible)
{
    state_.visible = visible;
    if (window_)
        SendMessageW(window_, FormMessage::VisibleChanged, visible, 0);
}

// Asks for a new window; the control object may rebuild it in its own way.
void TTavrix::RebuildWindow()
{
    if (window_)
        SendMessageW(window_, FormMessage::RecreateWindow, 0, 0);
}

// Builds the window again where it stood, so that a new border or owner applies.
void TTavrix::RebuildNow()
{
    if (!window_)
        return;
    HWND parent = GetParent(window_);
    if (!(GetWindowLongW(window_, GWL_STYLE) & WS_CHILD))
        parent = nullptr;
    const bool hadFocus = GetFocus() == window_;
    rebuilding_ = true;
    DestroyWindow(window_);
    rebuilding_ = false;
    CreateWindowIn(parent);
    if (hadFocus)
        SetFocus(window_);
}

void TTavrix::SetBounds(int left, int top, int width, int height)
{
    state_.SetBounds(FormBounds{left, top, width, height});
    Place(state_.bounds);
}

void TTavrix::Place(const FormBounds& bounds)
{
    state_.bounds = bounds;
    if (window_)
        MoveWindow(window_, bounds.left, bounds.top, bounds.width, bounds.height, TRUE);
}

COLORREF TTavrix::BackgroundColor() const
{
    // A value with the top bit set names a system colour by its low byte.
    return (state_.color & 0x80000000u) ? GetSysColor(state_.color & 0xFF) : static_cast<COLORREF>(state_.color & 0x00FFFFFF);
}

void TTavrix::PaintTo(HDC dc)
{
    RECT client{0, 0, state_.bounds.width, state_.bounds.height};
    if (window_)
        GetClientRect(window_, &client);
    const GdiObject<HBRUSH> brush(CreateSolidBrush(BackgroundColor()));
    FillRect(dc, &client, brush.get());
    Notify(onPaint_);
}

// The whole window's picture at the origin: the border its style asks for, then the client.
void TTavrix::PrintTo(HDC dc, DWORD parts)
{
    RECT outer, client;
    GetWindowRect(window_, &outer);
    GetClientRect(window_, &client);
    MapWindowPoints(window_, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    const POINT offset{client.left - outer.left, client.top - outer.top};
    OffsetRect(&outer, -outer.left, -outer.top);
    if (parts & PRF_NONCLIENT) {
        const LONG style = GetWindowLongW(window_, GWL_STYLE);
        const LONG exStyle = GetWindowLongW(window_, GWL_EXSTYLE);
        RECT frame = outer;
        if (style & WS_DLGFRAME) {
            const GdiObject<HBRUSH> face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
            FillRect(dc, &frame, face.get());
            DrawEdge(dc, &frame, EDGE_RAISED, BF_RECT | BF_ADJUST);
        } else if (style & WS_BORDER) {
            FrameRect(dc, &frame, GetSysColorBrush(COLOR_WINDOWFRAME));
            InflateRect(&frame, -1, -1);
        }
        if (exStyle & WS_EX_CLIENTEDGE)
            DrawEdge(dc, &frame, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    }
    if (parts & (PRF_CLIENT | PRF_ERASEBKGND)) {
        const int saved = SaveDC(dc);
        OffsetViewportOrgEx(dc, offset.x, offset.y, nullptr);
        IntersectClipRect(dc, 0, 0, client.right - client.left, client.bottom - client.top);
        PaintTo(dc);
        RestoreDC(dc, saved);
    }
}

void TTavrix::Repaint()
{
    if (window_)
        SendMessageW(window_, FormMessage::Invalidate, 0, 0);
}

void TTavrix::Realign()
{
    ++alignDisabled_;
    // The form has no content of its own to align; its border width and margins take
    // effect in what it paints.
    --alignDisabled_;
    UpdateScrollRanges();
    Repaint();
}

// The union of the child windows' rectangles, in client coordinates; empty when none.
RECT TTavrix::ContentBounds() const
{
    RECT content{0, 0, 0, 0};
    if (!window_)
        return content;
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&r), 2);
        UnionRect(&content, &content, &r);
    }
    return content;
}

void TTavrix::UpdateScrollRanges()
{
    if (!window_)
        return;
    int horizontal = 0, vertical = 0;
    if (state_.autoScroll) {
        RECT client;
        GetClientRect(window_, &client);
        const RECT content = ContentBounds();
        horizontal = content.right > client.right ? content.right : 0;
        vertical = content.bottom > client.bottom ? content.bottom : 0;
    }
    SetScrollRange(window_, SB_HORZ, 0, horizontal, TRUE);
    SetScrollRange(window_, SB_VERT, 0, vertical, TRUE);
}

void TTavrix::SizeToContent()
{
    const RECT content = ContentBounds();
    if (IsRectEmpty(&content) || !window_)
        return;
    RECT frame{0, 0, content.right + state_.borderWidth, content.bottom + state_.borderWidth};
    AdjustWindowRectEx(&frame, GetWindowLongW(window_, GWL_STYLE), FALSE, WindowExStyle());
    state_.bounds.width = frame.right - frame.left;
    state_.bounds.height = frame.bottom - frame.top;
    SetWindowPos(window_, nullptr, 0, 0, state_.bounds.width, state_.bounds.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT TTavrix::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool quiet = destroying_ || rebuilding_;
    switch (message) {
    case WM_ERASEBKGND:
        return 1;  // painted in full by WM_PAINT
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (state_.doubleBuffered) {
            RECT client;
            GetClientRect(window, &client);
            HDC memory = CreateCompatibleDC(dc);
            const GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(dc, client.right, client.bottom));
            HGDIOBJ old = SelectObject(memory, bitmap.get());
            PaintTo(memory);
            if (IsWindow(window))  // OnPaint's handler may have rebuilt the window
                BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteDC(memory);
        } else {
            PaintTo(dc);
        }
        EndPaint(window, &paint);
        return 0;
    }
    case WM_PRINTCLIENT:
        PaintTo(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_PRINT:
        PrintTo(reinterpret_cast<HDC>(wParam), static_cast<DWORD>(lParam));
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(fontHandle_.get());
    case WM_LBUTTONDOWN:
        mouseDown_ = true;
        return 0;
    case WM_LBUTTONUP:
        if (mouseDown_) {
            mouseDown_ = false;
            Notify(onClick_);
        }
        return 0;
    case WM_LBUTTONDBLCLK:
        mouseDown_ = false;
        Notify(onDblClick_);
        return 0;
    case WM_MOUSEMOVE:
        if (!mouseInClient_) {
            mouseInClient_ = true;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
            TrackMouseEvent(&track);
            Notify(onMouseEnter_);
        }
        return 0;
    case WM_MOUSELEAVE:
        if (mouseInClient_) {
            mouseInClient_ = false;
            Notify(onMouseLeave_);
        }
        return 0;
    case WM_CHAR: {
        wchar_t key = static_cast<wchar_t>(wParam);
        KeyPress(key);
        if (key == 0 || !IsWindow(window))
            return 0;  // the handlers discarded the key press, or destroyed the window
        return DefWindowProcW(window, message, key, lParam);
    }
    case WM_SETFOCUS:
        if (!active_ && !quiet) {
            active_ = true;
            Notify(onActivate_);
        }
        return 0;
    case WM_KILLFOCUS: {
        HWND next = reinterpret_cast<HWND>(wParam);
        if (active_ && !quiet && !(next && (next == window || IsChild(window, next)))) {
            active_ = false;
            Notify(onDeactivate_);
        }
        return 0;
    }
    case WM_SIZE:
        if (!quiet)
            Realign();
        return 0;
    case FormMessage::VisibleChanged:
        ShowWindow(window, wParam ? SW_SHOWNA : SW_HIDE);
        return 0;
    case FormMessage::RecreateWindow:
        RebuildNow();
        return 0;
    case FormMessage::Invalidate:
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case FormMessage::WantSpecialKey:
    case FormMessage::DialogKey:
    case FormMessage::ChildKey:
        return 0;  // the form has no child controls and no keys of its own
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
