#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "ui/kestrova_button.h"
#include "ui/kestrova_panel.h"
#include "ui/link.h"
#include "ui/skin_colours.h"

namespace {

// Catches what a link would hand to the browser.
class TUrlCatcher : public QObject {
    Q_OBJECT
  public:
    TUrlCatcher() {
        for (const char* scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(scheme, this, "Open");
    }
    ~TUrlCatcher() override {
        for (const char* scheme : {"http", "https"}) QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> Opened;

  public slots:
    void Open(const QUrl& url) { Opened.append(url); }
};

TEST(KestrovaButtonTest, ClickGivesTheFormItsResultBeforeTheHandlerRuns) {
    tSkinnedForm form(nullptr, TFormBorderStyle::Single, {});
    auto* button = new TKestrovaButton("&OK", form.Client());
    button->SetModalResult(TModalResult::OK);
    form.show();
    bool visibleInHandler = true;
    QObject::connect(button, &QAbstractButton::clicked,
                     [&] { visibleInHandler = form.isVisible(); });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(visibleInHandler);
}

TEST(KestrovaButtonTest, KeyboardSpaceEnterAndEscape) {
    tSkinnedForm form(nullptr, TFormBorderStyle::Single, {});
    auto* first = new TKestrovaButton("First", form.Client());
    auto* cancel = new TKestrovaButton("Cancel", form.Client());
    cancel->SetCancel(true);
    cancel->move(0, 40);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QSignalSpy firstClicks(first, &QAbstractButton::clicked);
    QSignalSpy cancelClicks(cancel, &QAbstractButton::clicked);

    first->setFocus();
    EXPECT_TRUE(first->IsActive());
    QTest::keyPress(first, Qt::Key_Space);
    EXPECT_TRUE(first->isDown()) << "pressed look while Space is held";
    QTest::keyRelease(first, Qt::Key_Space);
    EXPECT_EQ(firstClicks.count(), 1);
    QTest::keyClick(first, Qt::Key_Return);
    EXPECT_EQ(firstClicks.count(), 2) << "Enter clicks the focused button";
    QTest::keyClick(first, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(firstClicks.count(), 2) << "not with a shift key";
    QTest::keyClick(first, Qt::Key_Escape);
    EXPECT_EQ(cancelClicks.count(), 1);
    EXPECT_EQ(firstClicks.count(), 2);
}

TEST(KestrovaButtonTest, ImageIndexOutsideTheListKeepsTheFullTextArea) {
    TImageList images{QPixmap(16, 16)};
    TKestrovaButton button("Caption");
    button.resize(120, 25);
    const QRect full = button.TextRect();
    button.SetImageList(&images);
    button.SetImageIndex(0);
    EXPECT_EQ(button.TextRect().left(), 2 + 16 + 2);
    button.SetLayout(tButtonImagePosition::bipRight);
    EXPECT_LT(button.TextRect().right(), 120 - 16 - 2);
    button.SetImageIndex(1);
    EXPECT_EQ(button.TextRect(), full);
}

TEST(KestrovaButtonTest, PaintsTheLookOfItsState) {
    TKestrovaButton button("Caption");
    button.resize(80, 25);
    QImage normal = button.grab().toImage();
    EXPECT_EQ(normal.pixelColor(0, 0), Skin::ButtonBorder);
    EXPECT_EQ(normal.pixelColor(4, 4), Skin::ButtonFill);
    button.setEnabled(false);
    QImage disabled = button.grab().toImage();
    EXPECT_EQ(disabled.pixelColor(0, 0), Skin::ButtonDisabledBorder);
    EXPECT_EQ(disabled.pixelColor(4, 4), Skin::ButtonDisabledFill);
}

TEST(KestrovaPanelTest, EmptyTitleHidesTheStripAndTextBringsItBack) {
    TKestrovaPanel panel("Settings");
    panel.resize(200, 100);
    panel.show();
    TKestrovaPanelTitle* strip = panel.TitleStrip();
    EXPECT_TRUE(strip->isVisible());
    EXPECT_EQ(strip->geometry(), QRect(0, 0, 200, TKestrovaPanel::TitleHeight));
    panel.SetTitle("");
    EXPECT_FALSE(strip->isVisible());
    EXPECT_EQ(strip->y(), -100);
    panel.SetTitle("Again");
    EXPECT_TRUE(strip->isVisible());
    EXPECT_EQ(strip->y(), 0);
    panel.resize(300, 100);
    EXPECT_EQ(strip->width(), 300) << "as wide as the panel after a resize";
}

TEST(LinkTest, OpensTheTrimmedUrlElseTheTrimmedCaptionWithActiveColourWhileDown) {
    TUrlCatcher catcher;
    TLink link("  word  ");
    link.resize(100, 20);
    link.show();
    const QColor rest = link.palette().color(QPalette::WindowText);
    QTest::mousePress(&link, Qt::LeftButton);
    EXPECT_EQ(link.palette().color(QPalette::WindowText), Skin::LinkActive);
    QTest::mouseRelease(&link, Qt::LeftButton);
    EXPECT_EQ(link.palette().color(QPalette::WindowText), rest);
    ASSERT_EQ(catcher.Opened.size(), 1);
    EXPECT_EQ(catcher.Opened[0].host(), "word");

    link.SetURL("  https://127.0.0.1/page  ");
    QTest::mouseClick(&link, Qt::LeftButton);
    ASSERT_EQ(catcher.Opened.size(), 2);
    EXPECT_EQ(catcher.Opened[1], QUrl("https://127.0.0.1/page"));

    link.SetURL(" ");
    link.setText("  ");
    QTest::mouseClick(&link, Qt::LeftButton);
    EXPECT_EQ(catcher.Opened.size(), 2) << "nothing to open";
}

}  // namespace

#include "controls_test.moc"
