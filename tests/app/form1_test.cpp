#include "app/form1.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include "app/form2.h"
#include "app/form_widgets.h"
#include "app/gui_test_support.h"
#include "app/logic/item_text.h"
#include "platform/directory/directory.h"
#include "support/test_support.h"
#include "windows/form7.h"
#include "windows/program_windows.h"

using namespace torvix;
using torvix::test::activate;
using torvix::test::MessageBoxAnswerer;
using torvix::test::waitFor;

namespace {

QColor qcolor(Rgb c) {
    return QColor::fromRgb(static_cast<QRgb>(c));
}

// The main window on the office machine file, its clock one the test moves, its end recorded
// instead of leaving the event loop. Files a window writes go to a temporary folder.
class Form1Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(workDir.isValid());
        machine = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
        clock =
            std::make_shared<ManualClock>(QDateTime(QDate(2024, 4, 1), QTime(8, 5, 9)), 3725000);
        machine.clock = clock;
        Form1::Options options;
        options.exitProgram = [this] { ++exits; };
        form = std::make_unique<Form1>(machine, options);
    }
    void TearDown() override { form.reset(); }

    void showAndStart() {
        form->showCentred();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(waitFor([this] { return form->startupRuns() >= 1; }));
        QTest::qWait(50);  // let any activation of the first showing settle
    }
    QWidget* w(const QString& name) { return form->widgets().widget(name); }
    QString text(const QString& name) {
        if (auto* e = qobject_cast<QLineEdit*>(w(name))) return e->text();
        if (auto* b = qobject_cast<QPushButton*>(w(name))) return b->text();
        if (auto* l = qobject_cast<QLabel*>(w(name))) return l->text();
        return {};
    }
    QStringList listLines() {
        auto* l = qobject_cast<QListWidget*>(w("List1"));
        QStringList out;
        for (int i = 0; i < l->count(); ++i) out << l->item(i)->text();
        return out;
    }
    int px(int twips) { return FormWidgets::toPixels(twips, form->logicalDpiX()); }

    test::TemporaryCurrentDirectory workDir;
    Machine machine;
    std::shared_ptr<ManualClock> clock;
    std::unique_ptr<Form1> form;
    int exits = 0;
};

}  // namespace

TEST_F(Form1Test, WindowAsDesigned) {
    EXPECT_EQ(form->windowTitle(), "トルビクス");
    EXPECT_EQ(form->size(), QSize(px(11280), px(8904)));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());  // fixed size
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_EQ(form->windowIcon().pixmap(32, 32).size(), QSize(32, 32));
    EXPECT_EQ(form->font().family(), "ＭＳ Ｐ明朝");
    EXPECT_EQ(form->font().pointSize(), 9);
    EXPECT_EQ(QFontInfo(form->font()).family(), "IPAPMincho");  // the substitute is in use

    // The title bar carries the caption only, from the first showing on.
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & (Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

TEST_F(Form1Test, ControlsWithCaptionsGeometryAndColours) {
    auto* frame1 = qobject_cast<QGroupBox*>(w("Frame1"));
    ASSERT_TRUE(frame1);
    EXPECT_EQ(frame1->title(), "CPU情報");
    EXPECT_EQ(frame1->geometry(), QRect(px(120), px(90), px(4695), px(3225)));
    EXPECT_EQ(qobject_cast<QGroupBox*>(w("Frame4"))->title(), "ディスク/プリンター情報");

    // Every control of the design exists, with its design caption or "------".
    for (const ControlSpec& c : form1Spec().controls) {
        QWidget* widget = w(c.name);
        ASSERT_TRUE(widget) << c.name.toStdString();
        if (c.kind == ControlSpec::Kind::Button || c.kind == ControlSpec::Kind::TextBox) {
            EXPECT_EQ(text(c.name), c.caption) << c.name.toStdString();
        }
        // Positions count from the frame's corner when the control stands in one.
        EXPECT_EQ(widget->pos(), QPoint(px(c.left), px(c.top))) << c.name.toStdString();
        if (c.kind == ControlSpec::Kind::Label) {
            // Labels grow to hold their whole text, never below the design.
            EXPECT_GE(widget->width(), px(c.width)) << c.name.toStdString();
            EXPECT_EQ(widget->height(), px(c.height)) << c.name.toStdString();
        } else {
            EXPECT_EQ(widget->size(), QSize(px(c.width), px(c.height))) << c.name.toStdString();
        }
        EXPECT_EQ(widget->parentWidget()->objectName(), c.frame.isEmpty() ? "Form1" : c.frame);
    }
    EXPECT_EQ(text("Command16"), "停止");
    EXPECT_EQ(text("Text1"), "------");
    EXPECT_EQ(w("Command16")->geometry(), QRect(px(10500), px(8535), px(690), px(255)));
    EXPECT_EQ(w("Command14")->toolTip(), "この画面を「通常使うプリンター」に印刷します。");

    auto button = [&](const char* name) { return w(name)->palette().color(QPalette::Button); };
    EXPECT_EQ(button("Command1"), qcolor(colors::white));
    for (const char* green :
         {"Command6", "Command21", "Command29", "Command14", "Command15", "Command16", "Command31",
          "Command34", "Command35", "Command36", "Command37", "Command38", "Command41"})
        EXPECT_EQ(button(green), qcolor(colors::green)) << green;
    auto label = [&](const char* name) { return w(name)->palette().color(QPalette::Window); };
    EXPECT_EQ(label("Label1"), qcolor(colors::paleGreen));
    EXPECT_EQ(label("Label6"), qcolor(colors::lightYellow));
    EXPECT_EQ(label("Label9"), qcolor(colors::lightOrange));
    EXPECT_EQ(label("Label5"), qcolor(colors::filled));
    EXPECT_TRUE(qobject_cast<QLineEdit*>(w("Text1"))->isReadOnly());
}

TEST_F(Form1Test, FirstShowingRunsTheStartupSequenceOnce) {
    EXPECT_EQ(form->startupRuns(), 0);
    showAndStart();
    EXPECT_EQ(form->startupRuns(), 1);
    const QRect screen = form->screen()->availableGeometry();
    // Centred, give or take the title bar.
    EXPECT_LE((form->geometry().center() - screen.center()).manhattanLength(), 12);
    EXPECT_EQ(
        listLines(),
        QStringList({"表示中です。しばらくお待ちください。",
                     "(注意) 「Windowsが起動された時刻」は「ハイブリッドスリープ」は含まれません。",
                     "すべて表示されました。"}));
    EXPECT_EQ(text("Text1"), "2.394GHz");
    EXPECT_EQ(w("Text1")->palette().color(QPalette::Base), qcolor(colors::filled));
    EXPECT_EQ(text("Command34"), "← この終了機能を無効にする");
    EXPECT_EQ(text("Command35"), "↑ この機能を有効にする");
    EXPECT_TRUE(w("Label9")->isHidden());
    // Until the first clock tick the design captions stay.
    EXPECT_EQ(text("Label5"), "只今の時間 yyyy/mm/dd 00:00:00");
    EXPECT_EQ(form->Timer1().interval(), 5000);
    EXPECT_EQ(form->Timer2().interval(), 1000);
    EXPECT_TRUE(form->Timer1().isActive());
    EXPECT_TRUE(form->Timer2().isActive());

    // Becoming active again without another window of the program in between: nothing.
    ASSERT_TRUE(activate(form.get()));
    QTest::qWait(50);
    EXPECT_EQ(form->startupRuns(), 1);
}

TEST_F(Form1Test, ComingBackFromTheHistoryWindowRunsItAgain) {
    showAndStart();
    ASSERT_TRUE(activate(form.get()));
    form->logic().click("Command34");  // automatic end off ...
    ASSERT_EQ(text("Command34"), "← この終了機能を有効にする");
    form->logic().model().setText("Text1", "x");

    QTest::mouseClick(qobject_cast<QPushButton*>(w("Command15")), Qt::LeftButton);
    ASSERT_TRUE(form->form2());
    ASSERT_TRUE(waitFor(
        [this] { return QGuiApplication::focusWindow() == form->form2()->windowHandle(); }));
    QTest::qWait(50);
    EXPECT_EQ(form->startupRuns(), 1);  // the history window's own activation runs nothing

    form->form2()->Command1_Click();  // "表示終了"
    ASSERT_TRUE(waitFor([this] { return !form->form2(); }));
    ASSERT_TRUE(activate(form.get()));
    ASSERT_TRUE(waitFor([this] { return form->startupRuns() == 2; }));
    EXPECT_EQ(text("Text1"), "2.394GHz");                        // refreshed
    EXPECT_EQ(text("Command34"), "← この終了機能を無効にする");  // ... and on again
    EXPECT_EQ(listLines().size(), 3);
}

TEST_F(Form1Test, MessageBoxesAndOtherApplicationsDoNotRunIt) {
    showAndStart();
    ASSERT_TRUE(activate(form.get()));

    // Command35 turns the free-memory check on and says so in a message box.
    MessageBoxAnswerer answer("OK");
    QTest::mouseClick(qobject_cast<QPushButton*>(w("Command35")), Qt::LeftButton);
    ASSERT_EQ(answer.answered(), 1);
    EXPECT_EQ(answer.title, "メモリチェック");
    ASSERT_TRUE(activate(form.get()));
    QTest::qWait(50);
    EXPECT_EQ(form->startupRuns(), 1);

    // A window that is not one of the program's (here a bare window) in between: nothing.
    QWindow other;
    other.resize(50, 50);
    other.show();
    other.requestActivate();
    ASSERT_TRUE(waitFor([&] { return QGuiApplication::focusWindow() == &other; }));
    ASSERT_TRUE(activate(form.get()));
    QTest::qWait(50);
    EXPECT_EQ(form->startupRuns(), 1);
}

TEST_F(Form1Test, ACaptionClickRerunsOnlyItsItem) {
    showAndStart();
    FormModel& m = form->logic().model();
    m.setText("Text1", "x");
    m.setText("Text2", "y");
    const QStringList lines = listLines();
    QTest::mouseClick(qobject_cast<QPushButton*>(w("Command1")), Qt::LeftButton);
    EXPECT_EQ(text("Text1"), "2.394GHz");
    EXPECT_EQ(text("Text2"), "y");
    EXPECT_EQ(listLines(), lines);
    EXPECT_EQ(form->startupRuns(), 1);
}

TEST_F(Form1Test, ListCaptionsOpenTheirWindowOnAnyMouseButton) {
    showAndStart();
    int opened = 0;
    form->setListOpener("Command6", [&] { ++opened; });
    FormModel& m = form->logic().model();
    auto* command6 = qobject_cast<QPushButton*>(w("Command6"));

    m.setText("Text6", "x");
    QTest::mouseClick(command6, Qt::RightButton);
    QTest::mouseClick(command6, Qt::MiddleButton);
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(text("Text6"), "x");  // only the left button runs the item

    QTest::mouseClick(command6, Qt::LeftButton);
    EXPECT_EQ(opened, 3);
    EXPECT_NE(text("Text6"), "x");

    // The logon caption opens its own window, not the one above.
    QTest::mouseClick(qobject_cast<QPushButton*>(w("Command29")), Qt::RightButton);
    EXPECT_EQ(opened, 3);
    ASSERT_NE(Form7::instance(), nullptr);
    delete Form7::instance();
}

TEST_F(Form1Test, TheCloseBoxIsRefusedAndTheLockIsIdempotent) {
    showAndStart();
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    const Qt::WindowFlags flags = form->windowFlags();
    const WId id = form->winId();
    form->removeCloseBox();
    EXPECT_EQ(form->windowFlags(), flags);
    EXPECT_EQ(form->winId(), id);  // not recreated
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(exits, 0);
}

// On X11 the window asks for a border and a caption only, and no close, minimise or maximise
// function; the hint survives the flags being lifted and locked again (Qt rewrites it then).
TEST_F(Form1Test, X11TitleBarHintAsksForTheCaptionOnly) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        form->showCentred();
        EXPECT_FALSE(x11MotifHints(*form).has_value());  // the guard: nothing off X11
        GTEST_SKIP() << "not on X11; Form1X11.HintUnderXvfb runs this under Xvfb";
    }
    const auto check = [this](const char* when) {
        const auto hints = x11MotifHints(*form);
        ASSERT_TRUE(hints.has_value()) << when;
        EXPECT_EQ((*hints)[0], 0x3u) << when;        // functions and decorations given
        EXPECT_EQ((*hints)[1] & 0x39u, 0u) << when;  // no all, minimise, maximise, close
        EXPECT_EQ((*hints)[2], 0xau) << when;        // border and title only
    };
    showAndStart();
    check("first showing");
    form->setWindowFlags(form->windowFlags() | Qt::WindowCloseButtonHint);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->removeCloseBox();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    check("after the lock was restored");
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
}

// Runs the test above in a child on a private X server, so the hint is checked on every run
// where Xvfb is installed, not only when someone runs the tests on X11.
TEST(Form1X11, HintUnderXvfb) {
    if (qEnvironmentVariableIsSet("TORVIX_UNDER_XVFB")) GTEST_SKIP() << "already the child";
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("TORVIX_UNDER_XVFB"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(xvfbRun,
                {QStringLiteral("-a"), QStringLiteral("-s"),
                 QStringLiteral("-screen 0 1024x768x24"), QCoreApplication::applicationFilePath(),
                 QStringLiteral("--gtest_filter=Form1Test.X11TitleBarHintAsksForTheCaptionOnly")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 1 test"))) << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("SKIPPED"))) << out.toStdString();
}

TEST_F(Form1Test, StopEndsTheProgramWithEveryWindow) {
    showAndStart();
    form->Command15_Click();
    ASSERT_TRUE(form->form2());
    QPointer<Form2> history = form->form2();
    QTest::mouseClick(qobject_cast<QPushButton*>(w("Command16")), Qt::LeftButton);
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(!history || !history->isVisible());
    EXPECT_FALSE(form->Timer2().isActive());
    EXPECT_TRUE(form->logic().ended());
    form->endProgram();  // a second request (a signal during the stop) changes nothing
    EXPECT_EQ(exits, 1);
}

TEST_F(Form1Test, TheClockTicksAndTheAutomaticEndClosesEverything) {
    showAndStart();
    ASSERT_TRUE(waitFor([this] { return text("Label5").startsWith("只今の時刻 "); }, 2500));
    EXPECT_EQ(text("Label2"), "Ｗｉｎｄｏｗｓ起動からの経過時間 1時間2分5秒");
    EXPECT_EQ(text("Label4"), "この表示が終了する迄の残り時間 180秒");
    EXPECT_EQ(text("Label3"), "Ｗｉｎｄｏｗｓが起動された時刻 2024/4/1 7:3:4");
    for (const char* clock : {"Label2", "Label3", "Label4", "Label5"})  // the whole text shows
        EXPECT_GE(w(clock)->width(), w(clock)->sizeHint().width()) << clock;

    form->Command15_Click();
    QPointer<Form2> history = form->form2();
    ASSERT_TRUE(history);
    clock->advanceMs(181000);
    ASSERT_TRUE(waitFor([this] { return exits == 1; }, 2500));
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(!history || !history->isVisible());
}

TEST_F(Form1Test, HistoryWindowKeepsTwentyFourLines) {
    showAndStart();
    form->Command15_Click();
    Form2* history = form->form2();
    ASSERT_TRUE(history);
    EXPECT_EQ(history->windowTitle(), "経歴");
    EXPECT_FALSE(history->windowIcon().isNull());
    EXPECT_EQ(history->windowIcon().pixmap(32, 32).toImage(),
              form->windowIcon().pixmap(32, 32).toImage());  // the same icon
    EXPECT_EQ(history->font(), form->font());
    EXPECT_EQ(history->size(), QSize(px(8748), px(5544)));
    EXPECT_EQ(history->List1()->count(), 24);
    EXPECT_EQ(history->List1()->geometry(), QRect(px(195), px(135), px(7500), px(5088)));
    auto* close = history->widgets().get<QPushButton>("Command1");
    EXPECT_EQ(close->text(), "表示終了");
    EXPECT_EQ(close->geometry(), QRect(px(8016), px(150), px(576), px(504)));
    EXPECT_EQ(close->palette().color(QPalette::Button),
              QApplication::palette("QMenu").color(QPalette::Window));
    EXPECT_EQ(history->List1()->item(3)->text(), "2006/01/22 Ver 0.0 新規");

    // Pressed again while open: the same window, brought forward, nothing added.
    QTest::mouseClick(qobject_cast<QPushButton*>(w("Command15")), Qt::LeftButton);
    EXPECT_EQ(form->form2(), history);
    EXPECT_EQ(history->List1()->count(), 24);

    // Closed from the title bar and opened again: a new load, still 24 lines.
    history->close();
    ASSERT_TRUE(waitFor([this] { return !form->form2(); }));
    form->Command15_Click();
    ASSERT_TRUE(form->form2());
    EXPECT_EQ(form->form2()->List1()->count(), 24);
}

TEST_F(Form1Test, ValuesAsTextFromTheMenusAndCtrlC) {
    showAndStart();
    const QString table = itemTableText(form->logic().model());
    ASSERT_TRUE(table.startsWith("CPUのクロック\t")) << table.toStdString();
    auto* box = form->findChild<QLineEdit*>("Text12");
    ASSERT_TRUE(box);
    // The copy entry of the menu that a right click at `target` opens, if one opens.
    auto menuCopy = [](QWidget* target) -> QAction* {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                                target->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(target, &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == Form1::copyValuesCaption()) return a;
        return nullptr;
    };
    struct Row {
        const char* what;
        std::function<void()> act;
        QString expected;
    };
    const Row rows[] = {
        {"menu on the window",
         [&] {
             QAction* a = menuCopy(form->findChild<QGroupBox*>("Frame3"));
             ASSERT_TRUE(a);
             a->trigger();
         },
         table},
        {"menu on a value box",
         [&] {
             QAction* a = menuCopy(box);
             ASSERT_TRUE(a);
             auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
             // Ours first; the box's own entries stay.
             EXPECT_EQ(menu->actions().value(0), a);
             EXPECT_GT(menu->actions().size(), 3);
             a->trigger();
         },
         table},
        {"Ctrl+C in a value box",
         [&] {
             box->setFocus();
             box->deselect();
             QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
         },
         table},
        {"Ctrl+C on a selected part of a value",
         [&] {
             box->setFocus();
             box->setSelection(0, 3);
             QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
         },
         form->logic().model().text("Text12").left(3)},
    };
    for (const Row& row : rows) {
        QGuiApplication::clipboard()->setText("before");
        row.act();
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), row.expected) << row.what;
    }
    // A right click on a caption keeps its own meaning: no menu.
    EXPECT_EQ(menuCopy(form->findChild<QPushButton*>("Command12")), nullptr);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

// A directory server that accepts and never answers holds the sequence for its bound: the
// window goes on serving its timers meanwhile, and an activation then (the user coming back
// from a list window) is answered by the sequence already running, not by a second one.
TEST_F(Form1Test, ASlowDirectoryKeepsTheWindowServedAndRunsOnce) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    directory::LdapDirectoryOptions options;
    options.uri = QStringLiteral("ldap://127.0.0.1:%1").arg(ntohs(addr.sin_port));
    machine.directory = directory::makeLdapDirectory(options);

    auto* watch = form->findChild<ActivationWatch*>();
    ASSERT_TRUE(watch);
    int servedInside = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const QStringList lines = listLines();
        const bool inside = lines.contains("表示中です。しばらくお待ちください。") &&
                            !lines.contains("すべて表示されました。");
        if (!inside || form->startupRuns() > 0) return;
        if (servedInside++ == 0) Q_EMIT watch->cameBack();
    });
    tick.start(10);
    showAndStart();
    QTest::qWait(100);
    tick.stop();
    ::close(fd);
    EXPECT_GT(servedInside, 0);
    EXPECT_EQ(form->startupRuns(), 1);
    EXPECT_EQ(text("Text32"), "サーバ未接続");
}
