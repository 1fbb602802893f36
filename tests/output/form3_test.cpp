#include <QClipboard>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QScrollBar>

#include "output/main_window_fixture.h"

using namespace torvix;
using torvix::test::MessageBoxAnswerer;
using torvix::test::waitFor;

namespace {

class Form3Test : public test::MainWindowTest {
  protected:
    int px(int twips) { return FormWidgets::toPixels(twips, form->logicalDpiX()); }

    // Opens the dialog through the main window and records what "印刷" would print.
    Form3* openDialog() {
        Form3* dialog = pressPrintButton();
        if (dialog) {
            dialog->setPrintRoutine([this](QWidget* mainWindow, float scale) {
                printedFor = mainWindow;
                printedScales << scale;
            });
        }
        return dialog;
    }
    static int openDialogs() {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<Form3*>(w) && w->isVisible()) ++n;
        return n;
    }

    QWidget* printedFor = nullptr;
    QList<float> printedScales;
};

}  // namespace

TEST_F(Form3Test, OpensAsDesignedWithSmallSelected) {
    Form3* dialog = openDialog();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    EXPECT_EQ(dialog->windowTitle(), "印刷の大きさ");
    EXPECT_EQ(dialog->size(), QSize(px(5112), px(2880)));
    EXPECT_EQ(dialog->font().family(), "ＭＳ Ｐ明朝");
    EXPECT_EQ(dialog->parentWidget(), nullptr);  // no owner
    EXPECT_EQ(dialog->windowModality(), Qt::NonModal);
    EXPECT_TRUE(form->isEnabled());

    for (const Form3Control& c : Form3Logic::controls()) {
        QWidget* w = dialog->control(c.name);
        ASSERT_TRUE(w) << c.name.toStdString();
        EXPECT_EQ(w->geometry(), QRect(px(c.left), px(c.top), px(c.width), px(c.height)))
            << c.name.toStdString();
    }
    auto* label1 = qobject_cast<QLabel*>(dialog->control("Label1"));
    EXPECT_EQ(label1->text(), "印刷のサイズ指定");
    EXPECT_GT(QFontInfo(label1->font()).pixelSize(), QFontInfo(dialog->font()).pixelSize());
    EXPECT_EQ(qobject_cast<QGroupBox*>(dialog->control("Frame1"))->title(), "サイズ");
    EXPECT_EQ(qobject_cast<QLabel*>(dialog->control("Label2"))->text(), "%");
    EXPECT_EQ(qobject_cast<QLabel*>(dialog->control("Label3"))->text(), "自由サイズ");
    const QStringList captions = {"最大(100%)", "中(70%)", "小(50%)", "極小(40%)"};
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(dialog->Option(n)->text(), captions[n - 1]);
        EXPECT_EQ(dialog->Option(n)->isChecked(), n == 3) << n;
        // The whole caption shows within the designed width.
        EXPECT_LE(dialog->Option(n)->sizeHint().width(), dialog->Option(n)->width()) << n;
    }
    EXPECT_EQ(dialog->Command1()->text(), "印刷");
    EXPECT_EQ(dialog->Command2()->text(), "キャンセル");

    QScrollBar* bar = dialog->HScroll1();
    EXPECT_EQ(bar->orientation(), Qt::Horizontal);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->singleStep(), 10);
    EXPECT_EQ(bar->pageStep(), 1);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(dialog->Text1()->text().isEmpty());
    EXPECT_FALSE(dialog->Text1()->isReadOnly());
}

// Each row opens the dialog afresh, acts on it as the user would and presses "印刷".
TEST_F(Form3Test, OptionsScrollBarAndBoxAsTheUserUsesThem) {
    struct Row {
        QStringList steps;  // "option N", "drag N" (scroll bar), "right" (arrow click), "type TEXT"
        int checked;        // 0: no option
        int bar;
        const char* box;
        float scale;  // 0: the size message, the dialog stays
    };
    const Row rows[] = {
        {{"drag 30"}, 0, 30, "30", 0.3f},
        {{"drag 30", "option 2"}, 2, 0, "", 0.7f},
        {{"drag 30", "option 2", "drag 40", "drag 0"}, 0, 0, "0", 0.0f},
        {{"drag 30", "option 2", "drag 0"}, 2, 0, "", 0.7f},  // already at 0: no change
        {{"option 1", "type 150"}, 1, 0, "150", 1.5f},
        {{"type abc"}, 3, 0, "abc", 0.0f},
        {{"type -5"}, 3, 0, "-5", 0.0f},
        {{"type 12abc"}, 3, 0, "12abc", 0.12f},
        {{"right", "right"}, 0, 20, "20", 0.2f},
        {{"option 4", "option 4"}, 4, 0, "", 0.4f},
        {{}, 3, 0, "", 0.5f},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.steps.join(", ").toStdString());
        printedScales.clear();
        printedFor = nullptr;
        form->logic().shared().PrintScale = 9.0f;
        QPointer<Form3> dialog = openDialog();
        ASSERT_TRUE(dialog);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        for (const QString& step : r.steps) {
            const QString arg = step.section(u' ', 1);
            if (step.startsWith("option")) {
                QTest::mouseClick(dialog->Option(arg.toInt()), Qt::LeftButton);
            } else if (step.startsWith("drag")) {
                dialog->HScroll1()->setSliderDown(true);
                dialog->HScroll1()->setSliderPosition(arg.toInt());
                dialog->HScroll1()->setSliderDown(false);
            } else if (step == "right") {  // a click on the right arrow
                QScrollBar* bar = dialog->HScroll1();
                QTest::mouseClick(bar, Qt::LeftButton, {},
                                  QPoint(bar->width() - 3, bar->height() / 2));
            } else {
                dialog->Text1()->selectAll();
                QTest::keyClicks(dialog->Text1(), arg);
            }
        }
        for (int n = 1; n <= 4; ++n) EXPECT_EQ(dialog->Option(n)->isChecked(), n == r.checked) << n;
        EXPECT_EQ(dialog->HScroll1()->value(), r.bar);
        EXPECT_EQ(dialog->Text1()->text(), QString::fromUtf8(r.box));

        MessageBoxAnswerer answerer("OK");
        QTest::mouseClick(dialog->Command1(), Qt::LeftButton);
        EXPECT_EQ(form->logic().shared().PrintScale, r.scale);
        if (r.scale == 0.0f) {
            EXPECT_EQ(answerer.answered(), 1);
            EXPECT_EQ(answerer.text, "サイズが指定されていません");
            EXPECT_EQ(answerer.title, "印刷サイズ");
            EXPECT_TRUE(printedScales.isEmpty());
            ASSERT_TRUE(dialog && dialog->isVisible());
            EXPECT_EQ(dialog->Text1()->text(), QString::fromUtf8(r.box));
            QTest::mouseClick(dialog->Command2(), Qt::LeftButton);
        } else {
            EXPECT_EQ(answerer.answered(), 0);
            EXPECT_EQ(printedScales, QList<float>{r.scale});
            EXPECT_EQ(printedFor, form.get());
        }
        EXPECT_TRUE(waitFor([&] { return dialog.isNull(); }));  // unloaded
        EXPECT_EQ(Form3::instance(), nullptr);
    }
}

// "キャンセル" and the title bar's close both unload the dialog without printing: the clipboard
// and PrintScale stay as they were. "印刷" as the program ends (the stop button, the automatic
// end) sets PrintScale but prints nothing either.
TEST_F(Form3Test, UnloadedWithoutPrinting) {
    struct Row {
        const char* way;
        float scaleAfter;
    };
    const Row rows[] = {{"キャンセル", 0.25f}, {"close", 0.25f}, {"印刷, then the end", 0.6f}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.way);
        QGuiApplication::clipboard()->setText("marker");
        form->logic().shared().PrintScale = 0.25f;
        printedScales.clear();
        QPointer<Form3> dialog = openDialog();
        ASSERT_TRUE(dialog);
        dialog->HScroll1()->setSliderPosition(60);
        const QString way = QString::fromUtf8(r.way);
        if (way == "close") {
            dialog->close();
        } else if (way == "キャンセル") {
            QTest::mouseClick(dialog->Command2(), Qt::LeftButton);
        } else {
            QTimer::singleShot(0, form.get(), [this] { form->endProgram(); });
            QTest::mouseClick(dialog->Command1(), Qt::LeftButton);
            EXPECT_EQ(exits, 1);
        }
        EXPECT_TRUE(waitFor([&] { return dialog.isNull(); }));
        EXPECT_EQ(Form3::instance(), nullptr);
        QTest::qWait(100);
        EXPECT_TRUE(printedScales.isEmpty());
        EXPECT_EQ(form->logic().shared().PrintScale, r.scaleAfter);
        if (way != "close" && way != "キャンセル") continue;  // the capture cleared it
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "marker");
        EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasImage());
    }
}

TEST_F(Form3Test, OneDialogBroughtForwardWithItsChoices) {
    Form3* first = openDialog();
    ASSERT_TRUE(first);
    QTest::mouseClick(first->Option(1), Qt::LeftButton);
    first->Text1()->selectAll();
    QTest::keyClicks(first->Text1(), "85");
    ASSERT_TRUE(test::activate(form.get()));  // back to the main window, the dialog behind it

    EXPECT_EQ(pressPrintButton(), first);
    EXPECT_EQ(openDialogs(), 1);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(waitFor([&] { return QGuiApplication::focusWindow() == first->windowHandle(); }));
    EXPECT_TRUE(first->Option(1)->isChecked());
    EXPECT_EQ(first->Text1()->text(), "85");

    // Once unloaded, the next press loads a new dialog from its first choices.
    QPointer<Form3> gone = first;
    QTest::mouseClick(first->Command2(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return gone.isNull(); }));
    Form3* second = openDialog();
    ASSERT_TRUE(second);
    EXPECT_EQ(openDialogs(), 1);
    EXPECT_TRUE(second->Option(3)->isChecked());
    EXPECT_FALSE(second->Option(1)->isChecked());
    EXPECT_TRUE(second->Text1()->text().isEmpty());
}
