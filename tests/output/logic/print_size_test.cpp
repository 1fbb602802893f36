#include <gtest/gtest.h>

#include <QStringList>
#include <climits>
#include <cmath>

#include "output/logic/form3_logic.h"
#include "output/logic/print_layout.h"

using namespace torvix;

namespace {

class RecordingUi : public UserInterface {
  public:
    Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                      Icon icon) override {
        shown << text;
        titles << title;
        lastButtons = buttons;
        lastIcon = icon;
        return Answer::Ok;
    }
    QStringList shown, titles;
    Buttons lastButtons = Buttons::YesNo;
    Icon lastIcon = Icon::None;
};

}  // namespace

TEST(PrintPlacement, FitsScalesAndRounds) {
    struct Row {
        const char* what;
        int pictureW, pictureH, pageW, pageH;
        float scale;
        int width, height;
    };
    const Row rows[] = {
        {"A4, wide window, small (50%)", 20108, 13494, 11906, 16838, 0.5f, 5386, 3614},
        {"A4, wide window, largest (100%)", 20108, 13494, 11906, 16838, 1.0f, 10772, 7229},
        {"A4, wide window, typed 150%", 20108, 13494, 11906, 16838, 1.5f, 16158, 10843},
        {"fits: printed at its own numbers", 8000, 5000, 11906, 16838, 0.5f, 8000, 5000},
        {"fits: the scale plays no part", 8000, 5000, 11906, 16838, 0.4f, 8000, 5000},
        {"exactly the room left: fits", 10772, 15704, 11906, 16838, 0.5f, 10772, 15704},
        {"one over in width", 10773, 5000, 11906, 16838, 1.0f, 10772, 5000},
        {"too tall: the height's ratio wins", 5000, 20000, 11906, 16838, 0.7f, 2748, 10993},
        {"equal ratios", 2000, 2000, 2134, 2134, 1.0f, 1000, 1000},
        {"2.5 rounds to 2", 2000, 5, 2134, 20000, 1.0f, 1000, 2},
        {"3.5 rounds to 4", 2000, 7, 2134, 20000, 1.0f, 1000, 4},
        {"page smaller than the allowance", 500, 500, 1000, 1000, 1.0f, 0, 0},
        {"picture without extent", 0, 0, 1000, 1000, 1.0f, 0, 0},
        {"huge scale stays in range", 20108, 13494, 11906, 16838, 1e30f, INT_MAX, INT_MAX},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const PrintPlacement p = printPlacement(r.pictureW, r.pictureH, r.pageW, r.pageH, r.scale);
        EXPECT_EQ(p.left, 567);
        EXPECT_EQ(p.top, 567);
        EXPECT_EQ(p.width, r.width);
        EXPECT_EQ(p.height, r.height);
    }
}

TEST(LeadingNumber, ReadsTheNumberATextBeginsWith) {
    struct Row {
        const char* text;
        double value;
    };
    const Row rows[] = {
        {"", 0},        {"30", 30},    {"150", 150}, {"abc", 0},   {"-5", -5},      {"+5", 5},
        {"12abc", 12},  {" 1 5 ", 15}, {"\t7", 7},   {"1.5", 1.5}, {".5", 0.5},     {"5.", 5},
        {"1.2.3", 1.2}, {"1e2", 100},  {"1D2", 100}, {"2e", 2},    {"2e-", 2},      {"2e-1", 0.2},
        {"-", 0},       {".", 0},      {"a12", 0},   {"５０", 50}, {"－２０", -20}, {"1e-400", 0},
        {"0x10", 0},    {"70%", 70},   {"1,000", 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_DOUBLE_EQ(leadingNumber(QString::fromUtf8(r.text)), r.value);
    }
    EXPECT_TRUE(std::isinf(leadingNumber(QStringLiteral("1e400"))));
    EXPECT_LT(leadingNumber(QStringLiteral("-1e400")), 0);
}

// Each row runs its steps on a freshly loaded dialog, then presses "印刷".
TEST(Form3Logic, OptionsScrollBarAndBoxDecideTheScale) {
    struct Row {
        QStringList steps;  // "option N", "scroll N", "type TEXT"
        int selected;
        int scroll;
        const char* text;
        float scale;  // 0: the size message instead of printing
    };
    const Row rows[] = {
        {{}, 3, 0, "", 0.5f},
        {{"scroll 30"}, 0, 30, "30", 0.3f},
        {{"scroll 30", "option 2"}, 2, 0, "", 0.7f},
        {{"scroll 30", "option 2", "scroll 0"}, 0, 0, "0", 0.0f},
        {{"option 1", "type 150"}, 1, 0, "150", 1.5f},
        {{"option 4"}, 4, 0, "", 0.4f},
        {{"option 1"}, 1, 0, "", 1.0f},
        {{"type abc"}, 3, 0, "abc", 0.0f},
        {{"type -5"}, 3, 0, "-5", 0.0f},
        {{"type 12abc"}, 3, 0, "12abc", 0.12f},
        {{"type 1e41"}, 3, 0, "1e41", 0.0f},
        {{"type 45", "option 3"}, 3, 0, "", 0.5f},
        {{"scroll 100", "type 20"}, 0, 100, "20", 0.2f},
        {{"scroll 250"}, 0, 100, "100", 1.0f},
        {{"option 1", "type "}, 1, 0, "", 1.0f},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.steps.join(QStringLiteral(", ")).toStdString());
        Form3Logic form;
        form.Form_Load();
        for (const QString& step : r.steps) {
            const QString arg = step.section(u' ', 1);
            if (step.startsWith(QLatin1String("option")))
                form.Option_Click(arg.toInt());
            else if (step.startsWith(QLatin1String("scroll")))
                form.HScroll1_Change(arg.toInt());
            else
                form.setText(arg);
        }
        EXPECT_EQ(form.selectedOption(), r.selected);
        EXPECT_EQ(form.scrollValue(), r.scroll);
        EXPECT_EQ(form.text(), QString::fromUtf8(r.text));

        SharedValues shared;
        shared.PrintScale = 9.0f;  // whatever an earlier press left
        RecordingUi ui;
        const bool print = form.Command1_Click(shared, ui);
        EXPECT_EQ(shared.PrintScale, r.scale);
        EXPECT_EQ(print, r.scale != 0.0f);
        if (r.scale == 0.0f) {
            ASSERT_EQ(ui.shown, QStringList{"サイズが指定されていません"});
            EXPECT_EQ(ui.titles, QStringList{"印刷サイズ"});
            EXPECT_EQ(ui.lastButtons, UserInterface::Buttons::Ok);
            EXPECT_EQ(ui.lastIcon, UserInterface::Icon::Critical);
            // The dialog keeps its choices.
            EXPECT_EQ(form.selectedOption(), r.selected);
            EXPECT_EQ(form.text(), QString::fromUtf8(r.text));
        } else {
            EXPECT_TRUE(ui.shown.isEmpty());
        }
    }
}
