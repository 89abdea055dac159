#pragma once
// Paints the parts of a skinned form's title bar: the caption buttons' looks and glyphs.

#include <QColor>
#include <QRect>

class QPainter;

enum class TCaptionGlyph { Close, Minimize, Maximize, Restore };

struct TCaptionButtonState {
    bool Hot = false;      // form active and pointer over the button
    bool Pressed = false;  // hot and the left button down in the frame
};

// Draws one caption button filling square.
void PaintCaptionButton(QPainter& painter, const QRect& square, TCaptionGlyph glyph,
                        TCaptionButtonState state);
