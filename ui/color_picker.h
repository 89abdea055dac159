#pragma once
// TColorPicker: shows the overlay image stretched over its client area and returns the colour
// of the pixel the user clicks. A swatch beside the pointer shows the colour under it. Created
// by its caller for one modal use: set the selected colour, exec(), read it back on Accepted.

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>

#include "ui/skinned_form.h"

class QFrame;

// The client size for a picture: doubled while it is at most 139 x 39, then halved while it is
// larger than the screen.
QSize PickerClientSize(QSize bitmap, QSize screen);

class TColorPicker : public tSkinnedForm {
    Q_OBJECT
  public:
    // owner's screen bounds the window; the file is read with the overlay's own decoders.
    TColorPicker(QWidget* owner, const QString& fileName);

    // 0x00BBGGRR.
    void SetSelectedColor(int32_t colorRef) { FSelectedColor = colorRef; }
    int32_t SelectedColor() const { return FSelectedColor; }

    const QImage& Bitmap() const { return FBitmap; }
    QWidget* Pic() const { return FPic; }
    QFrame* SelColor() const { return FSelColor; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool LoadPicture(const QString& fileName);
    void FitToPicture();
    // The bitmap pixel under a point of Pic, when Pic and the point lie inside it.
    std::optional<QPoint> BitmapPoint(QPoint picPos) const;
    void PicMouseDown(QPoint pos);
    void PicMouseMove(QPoint pos);
    void FormResize();

    QImage FBitmap;
    QWidget* FPic;      // owned by the form (Qt parent)
    QFrame* FSelColor;  // owned by the form (Qt parent)
    int32_t FSelectedColor = 0;
    QSize FLastClientSize{0, 0};
};
