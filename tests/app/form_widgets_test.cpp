#include "app/form_widgets.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

using namespace torvix;

namespace {

using K = ControlSpec::Kind;

const FormSpec& sampleSpec() {
    static const FormSpec formLayout{
        "Sample",
        "見本",
        3000,
        1500,
        {
            {K::Frame, "Frame1", "枠", 150, 150, 1500, 1200, {}, {}, {}},
            {K::TextBox, "Text1", "------", 240, 300, 900, 285, "Frame1", {}, {}},
            {K::Button, "Command1", "押す", 1800, 150, 900, 300, {}, colors::green, "ヒント"},
            {K::Label, "Label1", "ラベル", 1800, 600, 900, 240, {}, colors::paleGreen, {}},
            {K::Label, "Label2", "plain", 1800, 900, 900, 240, {}, {}, {}},
            {K::ListBox, "List1", {}, 150, 1200, 1500, 300, {}, {}, {}},
        }};
    return formLayout;
}

struct Sample {
    Sample() {
        declareControls(sampleSpec(), model);
        widgets = new FormWidgets(sampleSpec(), model, &window);
    }
    QStringList listTexts() {
        QStringList out;
        auto* l = widgets->get<QListWidget>("List1");
        for (int i = 0; i < l->count(); ++i) out << l->item(i)->text();
        return out;
    }
    QWidget window;
    FormModel model;
    FormWidgets* widgets;
};

QColor qcolor(Rgb c) {
    return QColor::fromRgb(static_cast<QRgb>(c));
}

}  // namespace

TEST(FormWidgets, TwipsBecomePixelsAtTheLogicalResolution) {
    EXPECT_EQ(FormWidgets::toPixels(8904, 96), 594);
    EXPECT_EQ(FormWidgets::toPixels(11280, 96), 752);
    EXPECT_EQ(FormWidgets::toPixels(1440, 120), 120);
    EXPECT_EQ(FormWidgets::toPixels(7, 96), 0);  // under half a pixel
    EXPECT_EQ(FormWidgets::toPixels(8, 96), 1);  // half a pixel and more rounds up
}

TEST(FormWidgets, BuildsEachKindWhereTheDesignPutsIt) {
    Sample s;
    const int dpi = s.window.logicalDpiX();
    auto px = [&](int twips) { return FormWidgets::toPixels(twips, dpi); };
    auto* frame = s.widgets->get<QGroupBox>("Frame1");
    auto* box = s.widgets->get<QLineEdit>("Text1");
    auto* button = s.widgets->get<QPushButton>("Command1");
    ASSERT_TRUE(frame && box && button);
    ASSERT_TRUE(s.widgets->get<QLabel>("Label1") && s.widgets->get<QListWidget>("List1"));
    EXPECT_EQ(frame->title(), "枠");
    EXPECT_EQ(box->parentWidget(), frame);  // frame children are placed inside the frame
    EXPECT_EQ(box->geometry(), QRect(px(240), px(300), px(900), px(285)));
    EXPECT_EQ(button->geometry(), QRect(px(1800), px(150), px(900), px(300)));
    EXPECT_EQ(s.window.size(), QSize(px(3000), px(1500)));
    EXPECT_EQ(box->text(), "------");
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_EQ(button->text(), "押す");
    EXPECT_EQ(button->toolTip(), "ヒント");
    EXPECT_EQ(button->palette().color(QPalette::Button), qcolor(colors::green));
    auto* label = s.widgets->get<QLabel>("Label1");
    EXPECT_TRUE(label->autoFillBackground());
    EXPECT_EQ(label->palette().color(QPalette::Window), qcolor(colors::paleGreen));
    EXPECT_FALSE(s.widgets->get<QLabel>("Label2")->autoFillBackground());
}

TEST(FormWidgets, FollowTheModel) {
    Sample s;
    auto* box = s.widgets->get<QLineEdit>("Text1");
    auto* button = s.widgets->get<QPushButton>("Command1");
    auto* label = s.widgets->get<QLabel>("Label2");
    const QColor defaultBase = box->palette().color(QPalette::Base);

    s.model.setText("Text1", "2.394GHz");
    s.model.setBackground("Text1", colors::filled);
    s.model.setToolTip("Text1", "Command1_Click: query: failed");
    EXPECT_EQ(box->text(), "2.394GHz");
    EXPECT_EQ(box->palette().color(QPalette::Base), qcolor(colors::filled));
    EXPECT_EQ(box->toolTip(), "Command1_Click: query: failed");

    s.model.setBackground("Text1", std::nullopt);  // back to the default background
    EXPECT_EQ(box->palette().color(QPalette::Base), defaultBase);

    s.model.setText("Command1", "← この終了機能を有効にする");
    s.model.setBackground("Command1", colors::yellow);
    EXPECT_EQ(button->text(), "← この終了機能を有効にする");
    EXPECT_EQ(button->palette().color(QPalette::Button), qcolor(colors::yellow));

    s.model.setBackground("Label2", colors::lightOrange);
    EXPECT_TRUE(label->autoFillBackground());
    EXPECT_EQ(label->palette().color(QPalette::Window), qcolor(colors::lightOrange));

    const int designWidth = label->width();
    s.model.setText("Label2", "a much longer text than the designed label can hold");
    EXPECT_GE(label->width(), label->sizeHint().width());  // grown to show all of it
    s.model.setText("Label2", "x");
    EXPECT_EQ(label->width(), designWidth);  // and back, never below the design

    s.model.setVisible("Label2", false);
    EXPECT_TRUE(label->isHidden());
    s.model.setVisible("Label2", true);
    EXPECT_FALSE(label->isHidden());

    s.widgets->setDefaultBackground("Command1", QColor(1, 2, 3));
    s.model.setBackground("Command1", std::nullopt);
    EXPECT_EQ(button->palette().color(QPalette::Button), QColor(1, 2, 3));
}

TEST(FormWidgets, ListFollowsAppendsClearsAndRefills) {
    Sample s;
    s.model.addItem("List1", "a");
    s.model.addItem("List1", "b");
    EXPECT_EQ(s.listTexts(), QStringList({"a", "b"}));
    s.model.clearItems("List1");
    EXPECT_TRUE(s.listTexts().isEmpty());
    s.model.addItem("List1", "c");
    EXPECT_EQ(s.listTexts(), QStringList({"c"}));
    for (int i = 0; i < 2000; ++i) s.model.addItem("List1", QString::number(i));
    const QStringList shown = s.listTexts();
    ASSERT_EQ(shown.size(), 2001);
    EXPECT_EQ(shown.first(), "c");
    EXPECT_EQ(shown.last(), "1999");
    // The same entries again after a clear, one by one: never doubled.
    s.model.clearItems("List1");
    s.model.addItem("List1", "c");
    s.model.addItem("List1", "0");
    EXPECT_EQ(s.listTexts(), QStringList({"c", "0"}));
}

TEST(FormWidgets, ClicksAndMouseReleasesOverButtons) {
    Sample s;
    s.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.window));
    auto* button = s.widgets->get<QPushButton>("Command1");
    QSignalSpy clicked(s.widgets, &FormWidgets::clicked);
    QSignalSpy released(s.widgets, &FormWidgets::mouseReleased);

    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toString(), "Command1");
    ASSERT_EQ(released.count(), 1);
    EXPECT_EQ(released.at(0).at(1).value<Qt::MouseButton>(), Qt::LeftButton);

    QTest::mouseClick(button, Qt::RightButton);
    QTest::mouseClick(button, Qt::MiddleButton);
    EXPECT_EQ(clicked.count(), 1);  // only the left button clicks
    ASSERT_EQ(released.count(), 3);
    EXPECT_EQ(released.at(1).at(1).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(released.at(2).at(1).value<Qt::MouseButton>(), Qt::MiddleButton);

    // Pressed on the button but released away from it: neither.
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(button->width() + 20, 2));
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(released.count(), 3);
}

TEST(FormWidgets, NarrowButtonCaptionsWrapInsteadOfBeingCut) {
    // "表示終了" in a 38 x 34 pixel button stands on two lines, as the history window needs.
    Sample s;
    auto* button = s.widgets->get<QPushButton>("Command1");
    button->setText("表示終了");
    button->resize(38, 34);
    const QImage image = button->grab().toImage();
    ASSERT_FALSE(image.isNull());
    // The rows that hold black caption ink (the background is green, the frame dark green).
    int top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() < 90 && c.green() < 90 && c.blue() < 90) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    ASSERT_GE(bottom, 0) << "no caption drawn";
    EXPECT_GT(bottom - top + 1, QFontMetrics(button->font()).height());
}
