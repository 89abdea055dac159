#include "ui/color_picker.h"

#include <QFrame>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "settings/settings.h"
#include "ui/artwork.h"
#include "ui/color_ref.h"
#include "video/overlay_loader.h"

namespace {

constexpr QSize DesignSize{279, 212};
constexpr int SwatchSide = 29;
constexpr int SwatchDistance = 30;
const QString BaseCaption = "Colour Picker  - Click on desired colour";

// Paints the picture stretched to its own size, pixel for pixel without smoothing, so the
// pixel under the pointer is the one that is picked. It covers itself entirely, so nothing
// is erased first.
class TPickerImage : public QWidget {
  public:
    TPickerImage(const QImage& image, QWidget* parent) : QWidget(parent), FImage(image) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(rect(), FImage);
    }

  private:
    const QImage& FImage;
};

QImage ToBitmap(const TBgraImage& picture) {
    QImage wrapped(picture.Pixels.get(), picture.Width, picture.Height,
                   static_cast<qsizetype>(picture.Stride()), QImage::Format_RGB32);
    return wrapped.convertToFormat(QImage::Format_RGB888);
}

}  // namespace

QSize PickerClientSize(QSize bitmap, QSize screen) {
    int width = bitmap.width(), height = bitmap.height();
    if (width <= 0 || height <= 0) return bitmap;
    while (width <= 139 || height <= 39) {
        width *= 2;
        height *= 2;
    }
    while ((width > screen.width() || height > screen.height()) && width > 1 && height > 1) {
        width /= 2;
        height /= 2;
    }
    return {width, height};
}

TColorPicker::TColorPicker(QWidget* owner, const QString& fileName)
    : tSkinnedForm(owner, TFormBorderStyle::Sizeable, {true, false, true}),
      FBitmap(2, 2, QImage::Format_RGB888),
      FPic(new TPickerImage(FBitmap, Client())),
      FSelColor(new QFrame(Client())) {
    FBitmap.fill(Qt::white);
    resize(DesignSize);
    auto* layout = new QVBoxLayout(Client());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FPic);
    FPic->installEventFilter(this);

    FSelColor->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FSelColor->setLineWidth(1);
    FSelColor->setAutoFillBackground(true);
    FSelColor->setAttribute(Qt::WA_TransparentForMouseEvents);
    FSelColor->setGeometry(0, 0, SwatchSide, SwatchSide);
    FSelColor->raise();

    setWindowTitle(BaseCaption);
    if (!LoadPicture(fileName)) {
        setWindowTitle(windowTitle() + " - Error loading");
        return;
    }
    setWindowTitle(windowTitle() + QString(" - %1x%2").arg(FBitmap.width()).arg(FBitmap.height()));
    FitToPicture();
    FPic->setCursor(ColorPickCursor());
}

bool TColorPicker::LoadPicture(const QString& fileName) {
    // Decoded as the video overlay is, without the overlay's transparency rules: every pixel
    // keeps its colour.
    TVideoProcessing opaque;
    opaque.OverlayAlpha = 255;
    opaque.TransColor = false;
    std::optional<TBgraImage> picture = LoadOverlayImage(fileName.toStdString(), opaque);
    if (!picture) return false;
    FBitmap = ToBitmap(*picture);
    return true;
}

void TColorPicker::FitToPicture() {
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const QSize client = PickerClientSize(FBitmap.size(), screen->geometry().size());
    SetClientSize(client);
    setMinimumSize(std::max(client.width() / 2, 100), std::max(client.height() / 2, 50));
}

std::optional<QPoint> TColorPicker::BitmapPoint(QPoint picPos) const {
    const int64_t width = FPic->width(), height = FPic->height();
    if (width <= 0 || height <= 0 || !FPic->rect().contains(picPos)) return std::nullopt;
    return QPoint(static_cast<int>(picPos.x() * int64_t{FBitmap.width()} / width),
                  static_cast<int>(picPos.y() * int64_t{FBitmap.height()} / height));
}

void TColorPicker::PicMouseDown(QPoint pos) {
    if (std::optional<QPoint> pixel = BitmapPoint(pos)) {
        FSelectedColor = RefFromColor(FBitmap.pixelColor(*pixel));
        SetModalResult(TModalResult::OK);
    }
    FormResize();
}

void TColorPicker::PicMouseMove(QPoint pos) {
    std::optional<QPoint> pixel = BitmapPoint(pos);
    if (!pixel) return;
    QPalette colours = FSelColor->palette();
    colours.setColor(QPalette::Window, FBitmap.pixelColor(*pixel));
    FSelColor->setPalette(colours);
    FormResize();

    const QSize client = ClientSize();
    int left = pos.x() + SwatchDistance;
    if (left >= client.width() - SwatchSide) left = pos.x() - SwatchSide - SwatchDistance;
    int top = 0;
    if (client.height() >= 100) {
        top = pos.y() - SwatchSide - SwatchDistance;
        if (top < 0) top = pos.y() + SwatchDistance;
    }
    FSelColor->move(left, top);
}

void TColorPicker::FormResize() {
    if (ClientSize() == FLastClientSize) return;
    FSelColor->move(0, 0);
    FLastClientSize = ClientSize();
}

void TColorPicker::resizeEvent(QResizeEvent* event) {
    tSkinnedForm::resizeEvent(event);
    FormResize();
}

bool TColorPicker::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FPic && event->type() == QEvent::MouseButtonPress)
        PicMouseDown(static_cast<QMouseEvent*>(event)->position().toPoint());
    if (watched == FPic && event->type() == QEvent::MouseMove)
        PicMouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
    return tSkinnedForm::eventFilter(watched, event);
}
