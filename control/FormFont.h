// The form's own font: name, height in pixels (negative: character height), character
// set, colour and style. Its size in points follows from the height and the resolution
// the font is measured in. Every change that alters a value is announced once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct FontStyle {
    bool bold = false, italic = false, underline = false, strikeOut = false;
    bool operator==(const FontStyle& o) const
    {
        return bold == o.bold && italic == o.italic && underline == o.underline && strikeOut == o.strikeOut;
    }
    bool operator!=(const FontStyle& o) const { return !(*this == o); }
};

// Win32's MulDiv: a * b / c, rounded half away from zero.
int32_t MulDiv32(int32_t a, int32_t b, int32_t c);

// A platform font size (points times 10000) in whole points, halves to the even neighbour.
int32_t PointsFromCy(int64_t cy);

class FormFont {
public:
    explicit FormFont(int32_t pixelsPerInch = 96) : pixelsPerInch_(pixelsPerInch) {}

    const std::u16string& name() const { return name_; }
    int32_t height() const { return height_; }
    int32_t size() const { return -MulDiv32(height_, 72, pixelsPerInch_); }
    uint8_t charset() const { return charset_; }
    uint32_t color() const { return color_; }
    FontStyle style() const { return style_; }
    int32_t pixelsPerInch() const { return pixelsPerInch_; }

    void setName(const std::u16string& name) { Change([&] { name_ = name; }); }
    void setHeight(int32_t height) { Change([&] { height_ = height; }); }
    void setSize(int32_t points) { setHeight(-MulDiv32(points, pixelsPerInch_, 72)); }
    void setCharset(uint8_t charset) { Change([&] { charset_ = charset; }); }
    void setColor(uint32_t color) { Change([&] { color_ = color; }); }
    void setStyle(FontStyle style) { Change([&] { style_ = style; }); }
    // Several attributes as one change.
    void assign(const std::u16string& name, int32_t points, FontStyle style, uint8_t charset)
    {
        Change([&] {
            name_ = name;
            height_ = -MulDiv32(points, pixelsPerInch_, 72);
            style_ = style;
            charset_ = charset;
        });
    }

    // Called after each change.
    std::function<void()> onChange;

private:
    template <typename Edit>
    void Change(Edit edit)
    {
        const std::u16string name = name_;
        const int32_t height = height_;
        const uint8_t charset = charset_;
        const uint32_t color = color_;
        const FontStyle style = style_;
        edit();
        if ((name != name_ || height != height_ || charset != charset_ || color != color_ || style != style_) &&
            onChange)
            onChange();
    }

    std::u16string name_ = u"Tahoma";
    int32_t height_ = -11;
    uint8_t charset_ = 1;  // DEFAULT_CHARSET
    uint32_t color_ = 0xFF000008;  // the system colour of window text
    FontStyle style_;
    int32_t pixelsPerInch_;
};
