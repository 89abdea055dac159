#include "ui/color_picker.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QImage>
#include <QTest>

#include "tests/support/temp_folder.h"
#include "ui/artwork.h"

namespace {

// Pictures whose pixels tell where they are: red = column, green = row.
class ColorPickerTest : public ::testing::Test {
  protected:
    QString Write(int width, int height, const char* format, const char* name) {
        QImage picture(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                picture.setPixelColor(x, y, QColor(x % 256, y % 256, 7));
        const QString path = QString::fromStdString(FFolder.Path()) + "/" + name;
        EXPECT_TRUE(picture.save(path, format));
        return path;
    }

    TTempFolder FFolder;
};

TEST_F(ColorPickerTest, SmallPictureIsDoubledUntilLargeEnough) {
    TColorPicker picker(nullptr, Write(64, 16, "BMP", "small.bmp"));
    EXPECT_EQ(picker.windowTitle(), "Colour Picker  - Click on desired colour - 64x16");
    EXPECT_EQ(picker.ClientSize(), QSize(256, 64));
    EXPECT_EQ(picker.minimumSize(), QSize(128, 50));
}

TEST_F(ColorPickerTest, ClientSizeIsHalvedToFitTheScreen) {
    EXPECT_EQ(PickerClientSize({3000, 2000}, {1920, 1080}), QSize(1500, 1000));
    EXPECT_EQ(PickerClientSize({64, 16}, {1920, 1080}), QSize(256, 64));
    EXPECT_EQ(PickerClientSize({140, 40}, {1920, 1080}), QSize(140, 40));
    EXPECT_EQ(PickerClientSize({139, 400}, {1920, 1080}), QSize(278, 800));
    EXPECT_EQ(PickerClientSize({1921, 100}, {1920, 1080}), QSize(960, 50));
    // A sliver is never halved to nothing: the window would have no picture to click.
    EXPECT_EQ(PickerClientSize({1, 8192}, {1920, 1080}), QSize(1, 8192));
}

TEST_F(ColorPickerTest, ClickOnAStretchedPictureMapsBackToItsPixel) {
    TColorPicker picker(nullptr, Write(200, 100, "PNG", "wide.png"));
    picker.show();
    ASSERT_EQ(picker.ClientSize(), QSize(200, 100));
    picker.SetClientSize({400, 200});
    ASSERT_EQ(picker.Pic()->size(), QSize(400, 200));
    picker.SetSelectedColor(0x123456);
    QTest::mouseClick(picker.Pic(), Qt::LeftButton, {}, QPoint(101, 61));
    EXPECT_EQ(picker.SelectedColor(), 50 | 30 << 8 | 7 << 16);  // 0x00BBGGRR of pixel (50, 30)
    EXPECT_EQ(picker.result(), QDialog::Accepted);
}

TEST_F(ColorPickerTest, SwatchFollowsThePointerAndStaysInside) {
    TColorPicker picker(nullptr, Write(200, 100, "JPEG", "photo.jpg"));
    picker.show();
    QFrame* swatch = picker.SelColor();
    ASSERT_EQ(picker.ClientSize(), QSize(200, 100));
    QTest::mouseMove(picker.Pic(), QPoint(20, 80));
    EXPECT_EQ(swatch->pos(), QPoint(50, 21)) << "right of and above the pointer";
    QTest::mouseMove(picker.Pic(), QPoint(150, 40));
    EXPECT_EQ(swatch->pos(), QPoint(91, 70)) << "left near the right edge, below near the top";
}

// Moves reach the window under the pointer: one picker on screen at a time.
TEST_F(ColorPickerTest, SwatchStaysAtTheTopInLowWindows) {
    TColorPicker low(nullptr, Write(200, 60, "BMP", "low.bmp"));
    low.show();
    ASSERT_EQ(low.Pic()->size(), QSize(200, 60));
    QTest::mouseMove(low.Pic(), QPoint(20, 50));
    EXPECT_EQ(low.SelColor()->pos(), QPoint(50, 0)) << "top edge in a low window";
    EXPECT_EQ(low.SelColor()->palette().color(QPalette::Window), QColor(20, 50, 7))
        << "shows the pixel under the pointer";
}

TEST_F(ColorPickerTest, UnreadableFileKeepsTheBlankBitmapAndDesignSize) {
    TColorPicker picker(nullptr, QString::fromStdString(FFolder.Path()) + "/missing.png");
    EXPECT_EQ(picker.windowTitle(), "Colour Picker  - Click on desired colour - Error loading");
    EXPECT_EQ(picker.size(), QSize(279, 212));
    EXPECT_EQ(picker.Bitmap().size(), QSize(2, 2));
    picker.show();
    QTest::mouseClick(picker.Pic(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(picker.SelectedColor(), 0xFFFFFF);
}

TEST_F(ColorPickerTest, PictureGetsTheOwnPickerCursor) {
    TColorPicker picker(nullptr, Write(64, 64, "BMP", "square.bmp"));
    const QCursor cursor = picker.Pic()->cursor();
    EXPECT_EQ(cursor.hotSpot(), QPoint(0, 17));
    EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32));
    const QImage image = cursor.pixmap().toImage();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb pixel = image.pixel(x, y);
            const bool twoColours =
                qAlpha(pixel) == 0 || pixel == qRgb(0, 0, 0) || pixel == qRgb(255, 255, 255);
            ASSERT_TRUE(twoColours) << x << "," << y;
        }
}

}  // namespace
