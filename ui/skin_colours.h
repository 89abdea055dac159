#pragma once
// The colours of the dark look shared by the secondary windows, named after their role.

#include <QColor>

namespace Skin {

// Window frame and title bar.
inline const QColor ActiveCaption{0, 0, 0};
inline const QColor ActiveCaptionText{255, 255, 255};
inline const QColor InactiveCaption{64, 64, 64};
inline const QColor InactiveCaptionText{192, 192, 192};
inline const QColor Outline{0, 0, 0};

// Caption buttons.
inline const QColor CaptionButton{0, 0, 0};
inline const QColor CaptionButtonHot{0, 0, 128};
inline const QColor CaptionButtonPressed{0, 0, 255};
inline const QColor CaptionGlyph{192, 192, 192};
inline const QColor CaptionGlyphHot{255, 255, 255};
inline const QColor CloseGlyph{224, 0, 0};
inline const QColor CloseGlyphHot{255, 0, 0};

// The forms' own background: colour value 4210752.
inline const QColor FormBackground{64, 64, 64};

// Flat push buttons.
inline const QColor ButtonDisabledFill{192, 192, 192};
inline const QColor ButtonDisabledText{255, 255, 255};
inline const QColor ButtonDisabledBorder{232, 232, 232};
inline const QColor ButtonFill{60, 60, 198};
inline const QColor ButtonText{232, 232, 232};
inline const QColor ButtonHotFill{89, 89, 206};
inline const QColor ButtonPressedFill{103, 103, 223};
inline const QColor ButtonHotText{255, 255, 255};
inline const QColor ButtonBorder{25, 25, 158};

// Outlined panels and their title strip.
inline const QColor PanelFill{255, 255, 255};
inline const QColor PanelOutline{0, 0, 0};
inline const QColor PanelTitleFill{0, 0, 0};
inline const QColor PanelTitleText{255, 255, 255};

// Hyperlink labels.
inline const QColor LinkText{0, 0, 255};
inline const QColor LinkActive{255, 0, 0};

}  // namespace Skin
