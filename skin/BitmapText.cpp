// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/BitmapText.h"

#include "base/Exception.h"
#include "skin/SkinPicture.h"
#include "skin/WinUtil.h"

#include <QPainter>

#include <algorithm>
#include <cstdint>

namespace {

// A skin's text picture never needs more; larger cell sizes are typing errors
// that would otherwise ask for gigabytes. Both sides within bounds can still
// make a picture of gigabytes, so the area has a bound of its own (64 MB at
// four bytes a pixel).
constexpr std::int64_t MaxSide = 32767;
constexpr std::int64_t MaxArea = std::int64_t(4096) * 4096;

// The cell of c in layout as (column, row), or false when c has none.
bool cellOf(char32_t c, TBitmapFontLayout layout, int& column, int& row)
{
    const bool letter = c >= U'A' && c <= U'Z';
    const bool symbol = c >= 40 && c <= 64;
    if (!letter && !symbol)
        return false;
    row = 0;
    if (layout == TBitmapFontLayout::Digits)
        column = int(c) - 48;
    else if (letter)
        column = int(c) - 65;
    else {
        row = 1;
        column = int(c) - 40;
    }
    return true;
}

// Text as the fonts' plain letters: a letter with accents as the letter
// alone (é as E), and the few letters that have no plain form inside them
// spelled with the plain ones (ß as SS, Ø as O). The fonts hold no other
// letters; what stays outside them is left out as before.
QString plainLetters(const QString& text)
{
    static const std::pair<char16_t, const char*> spelled[] = {
        {u'ß', "ss"}, {u'ẞ', "SS"}, {u'æ', "ae"}, {u'Æ', "AE"}, {u'œ', "oe"}, {u'Œ', "OE"},
        {u'ø', "o"},  {u'Ø', "O"},  {u'đ', "d"},  {u'Đ', "D"},  {u'ð', "d"},  {u'Ð', "D"},
        {u'ł', "l"},  {u'Ł', "L"},  {u'þ', "th"}, {u'Þ', "TH"}, {u'ı', "i"},
    };
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            out += c;
            continue;
        }
        const auto known = std::find_if(std::begin(spelled), std::end(spelled),
                                        [c](const auto& s) { return s.first == c.unicode(); });
        if (known != std::end(spelled)) {
            out += QLatin1String(known->second);
            continue;
        }
        for (const QChar part : QString(c).normalized(QString::NormalizationForm_KD))
            if (!part.isMark())
                out += part;
    }
    return out;
}

} // namespace

QImage RenderBitmapText(const QString& text, int cellWidth, int cellHeight, const QImage& font,
                        TBitmapFontLayout layout, int maxChar)
{
    std::u32string chars;
    for (char32_t c : plainLetters(text).toUcs4())
        chars += c;
    if (std::int64_t(chars.size()) > maxChar)
        chars.resize(std::size_t(std::max(0, maxChar)));

    const std::int64_t width = std::int64_t(chars.size()) * cellWidth + 1;
    const std::int64_t height = cellHeight;
    if (width > MaxSide || height > MaxSide || (width > 0 && height > 0 && width * height > MaxArea))
        throw Exception("Bitmap text too large: cell size " + std::to_string(cellWidth) + " x "
                        + std::to_string(cellHeight));
    if (width <= 0 || height <= 0)
        return QImage(); // nothing to show, as with a missing size key

    QImage image(int(width), int(height), QImage::Format_RGB32);
    image.fill(SkinMagenta);
    if (cellWidth <= 0)
        return image;

    QImage cell(cellWidth, cellHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    int x = 1;
    for (char32_t c : chars) {
        if (c >= U'a' && c <= U'z')
            c = c - U'a' + U'A';
        int column = 0;
        int row = 0;
        if (cellOf(c, layout, column, row)) {
            cell.fill(SkinMagenta);
            QPainter cellPainter(&cell);
            cellPainter.drawImage(QPoint(0, 0), font,
                                  QRect(column * cellWidth, row * cellHeight, cellWidth, cellHeight));
            cellPainter.end();
            painter.drawImage(x, 0, cell);
            x += cellWidth;
        } else if (c == U' ') {
            x += cellWidth;
        }
    }
    return image;
}

void DrawBitmapText(TSkinPicture& picture, const std::string& text, int cellWidth,
                    int cellHeight, const std::string& fontFile, TBitmapFontLayout layout,
                    int maxChar)
{
    const QString full = QString::fromStdString(text);
    if (layout == TBitmapFontLayout::Status) {
        // Socket errors end their first line with CR LF: two lines in the hint.
        QString hint = full;
        hint.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        hint.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        picture.setToolTip(hint);
    }
    picture.ClearPicture();
    const QImage font = LoadSkinBitmapOrThrow(QString::fromStdString(fontFile));
    const QImage image = RenderBitmapText(full, cellWidth, cellHeight, font, layout, maxChar);
    const QSize size = image.isNull() ? QSize(1, std::max(0, cellHeight)) : image.size();
    picture.resize(size);
    picture.SetPicture(image);
    picture.resize(size);
}
