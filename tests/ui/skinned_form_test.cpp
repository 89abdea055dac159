#include "ui/skinned_form.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "ui/skin_colours.h"

namespace {

struct TShownForm {
    explicit TShownForm(TFormBorderStyle style, TBorderIcons icons = {})
        : Form(nullptr, style, icons) {
        Form.SetClientSize({300, 200});
        Form.show();
        Form.activateWindow();
        // Under X11 the window is mapped some time after show().
        Exposed = QTest::qWaitForWindowExposed(&Form);
    }
    bool Exposed = false;
    tSkinnedForm Form;
};

QPoint CaptionPoint(const tSkinnedForm& form) {
    return {form.width() / 2, form.FrameWidth() + form.CaptionHeight() / 2};
}

TEST(SkinnedFormTest, ReleaseOnCloseClosesButReleaseOnTheIconDoesNothing) {
    TShownForm shown(TFormBorderStyle::Single, {true, true, true});
    tSkinnedForm& form = shown.Form;
    ASSERT_FALSE(form.IconRect().isEmpty());
    QTest::mouseClick(&form, Qt::LeftButton, {}, form.IconRect().center());
    EXPECT_TRUE(form.isVisible());
    QTest::mouseClick(&form, Qt::LeftButton, {}, form.CloseRect().center());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
}

TEST(SkinnedFormTest, PressOnCloseReleasedElsewhereDoesNotClose) {
    TShownForm shown(TFormBorderStyle::Single);
    tSkinnedForm& form = shown.Form;
    QTest::mousePress(&form, Qt::LeftButton, {}, form.CloseRect().center());
    QTest::mouseRelease(&form, Qt::LeftButton, {}, QPoint(form.width() / 2, form.height() - 2));
    EXPECT_TRUE(form.isVisible());
}

TEST(SkinnedFormTest, DragOnTheCaptionMovesTheWindow) {
    TShownForm shown(TFormBorderStyle::Single);
    tSkinnedForm& form = shown.Form;
    form.move(100, 100);
    const QPoint start = form.pos();
    const QPoint grip = CaptionPoint(form);
    QTest::mousePress(&form, Qt::LeftButton, {}, grip);
    QTest::mouseMove(&form, grip + QPoint(40, 30));
    QTest::mouseRelease(&form, Qt::LeftButton, {}, grip + QPoint(40, 30));
    EXPECT_EQ(form.pos(), start + QPoint(40, 30));
    EXPECT_TRUE(form.isVisible());
}

TEST(SkinnedFormTest, MaximiseButtonTogglesAndDisabledMinimiseIsInert) {
    TShownForm shown(TFormBorderStyle::Sizeable, {true, false, true});
    tSkinnedForm& form = shown.Form;
    ASSERT_FALSE(form.MinRect().isEmpty()) << "both buttons show when one is enabled";
    QTest::mouseClick(&form, Qt::LeftButton, {}, form.MinRect().center());
    EXPECT_FALSE(form.isMinimized());
    QTest::mouseClick(&form, Qt::LeftButton, {}, form.MaxRect().center());
    EXPECT_TRUE(form.isMaximized());
    QTest::mouseClick(&form, Qt::LeftButton, {}, form.MaxRect().center());
    EXPECT_FALSE(form.isMaximized());
}

TEST(SkinnedFormTest, HoverMarksTheButtonUnderThePointer) {
    TShownForm shown(TFormBorderStyle::Single);
    tSkinnedForm& form = shown.Form;
    ASSERT_TRUE(shown.Exposed);
    // Under X11 the pointer moves for real and its events arrive later: bounded waits.
    QTest::mouseMove(&form, form.CloseRect().center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.HotButton() == tSkinnedForm::hbClose; }));
    QTest::mouseMove(&form, CaptionPoint(form));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.HotButton() == tSkinnedForm::hbNone; }));
}

TEST(SkinnedFormTest, BorderStylesDecideWhatIsPainted) {
    TShownForm dialog(TFormBorderStyle::Dialog, {true, true, true});
    EXPECT_FALSE(dialog.Form.CloseRect().isEmpty());
    EXPECT_TRUE(dialog.Form.IconRect().isEmpty());
    EXPECT_TRUE(dialog.Form.MaxRect().isEmpty());

    TShownForm tool(TFormBorderStyle::ToolWindow, {true, true, true});
    EXPECT_FALSE(tool.Form.CloseRect().isEmpty());
    EXPECT_TRUE(tool.Form.IconRect().isEmpty() && tool.Form.MinRect().isEmpty());
    EXPECT_LT(tool.Form.CaptionHeight(), dialog.Form.CaptionHeight());

    TShownForm none(TFormBorderStyle::None, {true, true, true});
    EXPECT_EQ(none.Form.size(), QSize(300, 200)) << "no frame around the client area";
    EXPECT_TRUE(none.Form.CloseRect().isEmpty() && none.Form.IconRect().isEmpty());
    QImage image = none.Form.grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), Skin::FormBackground) << "no outline painted";
}

TEST(SkinnedFormTest, FramePaintsOutlineTitleBarAndClientBackground) {
    TShownForm shown(TFormBorderStyle::Single);
    tSkinnedForm& form = shown.Form;
    EXPECT_EQ(form.ClientSize(), QSize(300, 200));
    QImage image = form.grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), Skin::Outline);
    EXPECT_EQ(image.pixelColor(form.width() - 1, form.height() - 1), Skin::Outline);
    const QColor bar = image.pixelColor(form.width() / 4, form.FrameWidth() + 1);
    EXPECT_TRUE(bar == Skin::ActiveCaption || bar == Skin::InactiveCaption);
    EXPECT_EQ(image.pixelColor(form.width() / 2, form.height() / 2), Skin::FormBackground);
    const QRect close = form.CloseRect();
    EXPECT_EQ(image.pixelColor(close.center()).red() > 200, true) << "red cross in the middle";
}

}  // namespace
