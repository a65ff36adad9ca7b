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
    explicit FormFont(int32_t pixelsPerInch = 96) { values_.pixelsPerInch = pixelsPerInch; }
    // A copy takes the values only: the listener belongs to the font it was set on.
    FormFont(const FormFont& other) : values_(other.values_) {}
    // Takes the other's values as one change; this font keeps its listener.
    FormFont& operator=(const FormFont& other)
    {
        if (this != &other)
            Change([&] { values_ = other.values_; });
        return *this;
    }

    const std::u16string& name() const { return values_.name; }
    int32_t height() const { return values_.height; }
    int32_t size() const { return -MulDiv32(values_.height, 72, values_.pixelsPerInch); }
    uint8_t charset() const { return values_.charset; }
    uint32_t color() const { return values_.color; }
    FontStyle style() const { return values_.style; }
    int32_t pixelsPerInch() const { return values_.pixelsPerInch; }

    void setName(const std::u16string& name) { Change([&] { values_.name = name; }); }
    void setHeight(int32_t height) { Change([&] { values_.height = height; }); }
    void setSize(int32_t points) { setHeight(-MulDiv32(points, values_.pixelsPerInch, 72)); }
    void setCharset(uint8_t charset) { Change([&] { values_.charset = charset; }); }
    void setColor(uint32_t color) { Change([&] { values_.color = color; }); }
    void setStyle(FontStyle style) { Change([&] { values_.style = style; }); }
    // Several attributes as one change.
    void assign(const std::u16string& name, int32_t points, FontStyle style, uint8_t charset)
    {
        Change([&] {
            values_.name = name;
            values_.height = -MulDiv32(points, values_.pixelsPerInch, 72);
            values_.style = style;
            values_.charset = charset;
        });
    }

    bool operator==(const FormFont& other) const { return values_ == other.values_; }
    bool operator!=(const FormFont& other) const { return !(*this == other); }

    // Called after each change.
    std::function<void()> onChange;

private:
    struct Values {
        std::u16string name = u"Tahoma";
        int32_t height = -11;
        uint8_t charset = 1;       // DEFAULT_CHARSET
        uint32_t color = 0xFF000008;  // the system colour of window text
        FontStyle style;
        int32_t pixelsPerInch = 96;  // what the size is measured in
        bool operator==(const Values& o) const
        {
            return name == o.name && height == o.height && charset == o.charset && color == o.color &&
                   style == o.style && pixelsPerInch == o.pixelsPerInch;
        }
    };

    template <typename Edit>
    void Change(Edit edit)
    {
        const Values before = values_;
        edit();
        if (!(before == values_) && onChange)
            onChange();
    }

    Values values_;
};
