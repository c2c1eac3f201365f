// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text drawn with a skin's bitmap fonts into the main window's two text
// pictures: the status line (letters and symbols) and the message count.
#include <QImage>
#include <QString>

#include <string>

class TSkinPicture;

// Which cells of a font bitmap hold which characters.
enum class TBitmapFontLayout {
    // Two rows: "A".."Z" in row 0, the 25 characters "(" .. "@" in row 1.
    // Used for the status picture, whose hint follows the text.
    Status,
    // One row: "0".."9". Used for the count picture, which keeps its hint.
    Digits,
};

// Renders text with font (a grid of cellWidth x cellHeight cells) into a new
// image of (characters x cellWidth + 1) x cellHeight on magenta. At most
// maxChar characters are kept (a negative maxChar keeps none). Letters are
// upper-cased, and letters the fonts lack drawn as their closest plain ones
// (é as E, ß as SS); a blank leaves a magenta cell; a character the layout has no
// cell for is skipped without moving on, so it leaves a magenta cell at the
// end. Column 0 is never drawn on. Parts of a cell outside font stay magenta.
// Throws Exception when the image would be too large to create.
QImage RenderBitmapText(const QString& text, int cellWidth, int cellHeight, const QImage& font,
                        TBitmapFontLayout layout, int maxChar);

// Draws text with the font bitmap in fontFile (read anew each call) on
// picture, sized to the rendered image. With the Status layout the picture's
// hint becomes the full text first. Throws Exception (a file error) when the
// font cannot be loaded; the picture has then lost its image already.
void DrawBitmapText(TSkinPicture& picture, const std::string& text, int cellWidth,
                    int cellHeight, const std::string& fontFile, TBitmapFontLayout layout,
                    int maxChar);
