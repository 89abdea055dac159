#include "update/update_notifier.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "tests/update/http_reply_server.h"

namespace {

constexpr int kWaitMs = 10000;

// The widgets need an application; the tests run without a display.
class tQtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "update_tests";
        static char* argv[] = {name, nullptr};
        FApp = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { FApp.reset(); }

  private:
    std::unique_ptr<QApplication> FApp;
};

const auto* const QtEnvironment = ::testing::AddGlobalTestEnvironment(new tQtEnvironment);

}  // namespace

// Stands in for the web browser: records the pages the program asks to open.
class tBrowser : public QObject {
    Q_OBJECT
  public:
    tBrowser() { QDesktopServices::setUrlHandler("http", this, "Open"); }
    ~tBrowser() override { QDesktopServices::unsetUrlHandler("http"); }
    QList<QUrl> Opened;
  public slots:
    void Open(const QUrl& url) { Opened.append(url); }
};

namespace {

// Answers every update prompt that appears with one button and remembers what it showed.
class tOperator {
  public:
    explicit tOperator(QMessageBox::StandardButton answer) : FAnswer(answer) {
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Look(); });
        FTimer.start(10);
    }
    int Prompts = 0;
    QString Text, Caption;
    QStringList Texts;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons;
    QWidget* Parent = nullptr;

  private:
    void Look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        ++Prompts;
        Text = box->text();
        Texts.append(Text);
        Caption = box->windowTitle();
        Icon = box->icon();
        Buttons = box->standardButtons();
        Parent = box->parentWidget();
        box->button(FAnswer)->click();
    }
    const QMessageBox::StandardButton FAnswer;
    QTimer FTimer;
};

TUpdateServer Loopback(const tHttpReplyServer& server) {
    return TUpdateServer{"127.0.0.1", server.Port()};
}

std::string Redirect(const std::string& headers) {
    return HttpReply("302 Found", headers);
}

}  // namespace

TEST(UpdateNotifier, NewerVersionAsksAndYesOpensTheDownloadPage) {
    tHttpReplyServer server(Redirect("X-Zizizada-Version: 2.14\r\n"));
    tBrowser browser;
    tOperator user(QMessageBox::Yes);
    QWidget window;
    TUpdateNotifier notifier(&window, Loopback(server), 1.5);

    ASSERT_TRUE(QTest::qWaitFor([&] { return !browser.Opened.isEmpty(); }, kWaitMs));
    EXPECT_EQ(user.Prompts, 1);
    EXPECT_EQ(user.Text.toStdString(),
              "There is a newer version of Ondrelay available (V2.14).  "
              "Would you like to download it?");
    EXPECT_EQ(user.Caption.toStdString(), "Update Available");
    EXPECT_EQ(user.Icon, QMessageBox::Question);
    EXPECT_EQ(user.Buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(user.Parent, &window);
    EXPECT_EQ(
        browser.Opened,
        QList<QUrl>{QUrl(QString::fromStdString("http://" + server.Address() + "/zizizada.php"))});
    EXPECT_FALSE(notifier.Checking());
}

// A 4 KB reply of about 150 version headers asks once, for the highest version.
TEST(UpdateNotifier, ManyVersionHeadersAskOnceForTheHighestAndNoOpensNothing) {
    tHttpReplyServer server(ManyVersionHeaders(TUpdateCheck::kReplyBytes, "7.25"));
    tBrowser browser;
    tOperator user(QMessageBox::No);
    TUpdateNotifier notifier(nullptr, Loopback(server), 1.5);

    ASSERT_TRUE(QTest::qWaitFor([&] { return user.Prompts > 0 && !notifier.Checking(); }, kWaitMs));
    // Every report the check made has been posted by now: delivering them shows any second box,
    // which the operator answers at once.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(user.Texts, QStringList({"There is a newer version of Ondrelay available (V7.25).  "
                                       "Would you like to download it?"}));
    EXPECT_TRUE(browser.Opened.isEmpty());
}

TEST(UpdateNotifier, NoServerNoCheck) {
    TUpdateNotifier notifier(nullptr, std::nullopt, 1.5);
    EXPECT_FALSE(notifier.Checking());
}

TEST(UpdateNotifier, ClosingTheWindowDoesNotWaitForTheServer) {
    tHttpReplyServer server(std::nullopt);
    auto window = std::make_unique<QWidget>();
    auto notifier = std::make_unique<TUpdateNotifier>(window.get(), Loopback(server), 1.5);
    ASSERT_TRUE(server.WaitRequestRead());
    EXPECT_TRUE(notifier->Checking());

    const auto start = std::chrono::steady_clock::now();
    notifier.reset();
    window.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(UpdateNotifier, AReportQueuedWhenTheWindowClosesIsDropped) {
    tHttpReplyServer server(Redirect("X-Zizizada-Version: 9.0\r\n"));
    tOperator user(QMessageBox::No);
    {
        TUpdateNotifier notifier(nullptr, Loopback(server), 1.5);
        // Waits without running the event loop, so the report stays queued.
        for (int i = 0; i < 1000 && notifier.Checking(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_FALSE(notifier.Checking());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(user.Prompts, 0);
}

#include "update_notifier_test.moc"
