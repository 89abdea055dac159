#pragma once
// The program's own pictures, painted in code: the window icon, the About box logo and the
// colour picker's pointer. Call after the application object exists.

#include <QCursor>
#include <QIcon>
#include <QImage>

// The icon of the skinned windows when neither the form nor the application has one.
QIcon ProgramIcon();

// The About box logo: 128 x 99 pixels, 24 bits per pixel.
QImage AboutLogo();

inline constexpr int ColorPickHotX = 0;
inline constexpr int ColorPickHotY = 17;

// "COLPICK": a 32 x 32 two-colour pipette whose tip, the hot spot, is at (0, 17). Made once and
// kept for the life of the process.
const QCursor& ColorPickCursor();

// The page selector buttons' marks: the selected page's, and the others'.
QPixmap SelectorImage(bool selected);
