#include "windows/form5.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <atomic>
#include <cmath>

#include "app/form1.h"
#include "app/form_widgets.h"
#include "app/gui_test_support.h"
#include "support/test_support.h"

using namespace torvix;
using torvix::test::MessageBoxAnswerer;
using torvix::test::waitFor;

namespace {

// Passes Win32_Printer through and counts how often it is enumerated (one per query).
class CountingPrinters : public wmi::ClassProvider {
  public:
    CountingPrinters(wmi::ProviderPtr inner, std::shared_ptr<std::atomic<int>> count)
        : inner_(std::move(inner)), count_(std::move(count)) {}
    QString className() const override { return inner_->className(); }
    QStringList propertyNames() const override { return inner_->propertyNames(); }
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query& q) const override {
        ++*count_;
        return inner_->enumerate(q);
    }

  private:
    wmi::ProviderPtr inner_;
    std::shared_ptr<std::atomic<int>> count_;
};

QStringList lines(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

const QStringList expectedLines = {
    "Office_Laser     ポート : ipp://printer.example/ipp/print   通常使うプリンター",
    "PDF     ポート : cups-pdf:/", "経理部 複合機     ポート : "};

class Form5Test : public ::testing::Test {
  protected:
    void SetUp() override {
        machine = loadMachineFile(test::dataPath("machines/printers.json"), true);
        const wmi::Registry& from = machine.wmi->registry();
        auto registry = std::make_shared<wmi::Registry>();
        for (const QString& name : from.classNames()) registry->add(from.find(name));
        registry->setConnectionError(from.connectionError());
        registry->add(std::make_shared<CountingPrinters>(from.find(u"Win32_Printer"), queries));
        machine.wmi = std::make_shared<wmi::QueryService>(registry);
    }
    void TearDown() override { delete Form5::instance(); }

    Machine machine;
    std::shared_ptr<std::atomic<int>> queries = std::make_shared<std::atomic<int>>(0);
};

}  // namespace

TEST_F(Form5Test, OpensCentredWithItsListAndEndsWithoutAMessage) {
    showForm5(nullptr, machine);
    QPointer<Form5> f = Form5::instance();
    ASSERT_FALSE(f.isNull());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
    EXPECT_EQ(queries->load(), 1);
    EXPECT_EQ(f->windowTitle(), "プリンター");
    EXPECT_EQ(f->Command1()->text(), "表示終了");
    EXPECT_EQ(f->font().family(), "ＭＳ Ｐ明朝");
    EXPECT_EQ(f->font().pointSize(), 9);
    EXPECT_FALSE(f->isModal());
    EXPECT_FALSE(f->List1()->isSortingEnabled());
    EXPECT_EQ(lines(f->List1()), expectedLines);
    EXPECT_GT(f->Command1()->geometry().left(), f->width() / 2);
    EXPECT_LT(f->Command1()->geometry().bottom(), f->List1()->geometry().top());
    EXPECT_GT(f->List1()->height(), f->height() / 2);
    // Within a few pixels: the platform may count a frame the window did not know of yet.
    const auto centreOf = [](const QRect& r) {
        return QPointF(r.left() + r.width() / 2.0, r.top() + r.height() / 2.0);
    };
    const QPointF offset =
        centreOf(f->frameGeometry()) - centreOf(f->screen()->availableGeometry());
    EXPECT_LE(std::abs(offset.x()), 4.0) << offset.x();
    EXPECT_LE(std::abs(offset.y()), 4.0) << offset.y();

    MessageBoxAnswerer none("OK");
    QTest::mouseClick(f->Command1(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return f.isNull(); }));
    QTest::qWait(50);
    EXPECT_EQ(none.answered(), 0);
    EXPECT_EQ(Form5::instance(), nullptr);

    // Each load asks the service again.
    showForm5(nullptr, machine);
    ASSERT_NE(Form5::instance(), nullptr);
    EXPECT_EQ(queries->load(), 2);
}

TEST_F(Form5Test, MouseUpOverTheCaptionOpensItOnceAndLeavesTheBox) {
    Form1::Options options;
    options.exitProgram = [] {};
    Form1 main(machine, options);
    main.showCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ASSERT_TRUE(waitFor([&] { return main.startupRuns() >= 1; }));
    ASSERT_TRUE(waitFor([&] { return main.logic().model().text("Text18") == "Office_Laser"; }));
    auto* command21 = main.widgets().get<QPushButton>("Command21");
    ASSERT_NE(command21, nullptr);

    const struct {
        const char* name;
        Qt::MouseButton button;
        bool click;  // a whole click (press and release) rather than a release alone
        int newQueries;
        const char* text18;
    } cases[] = {
        {"right click opens it", Qt::RightButton, true, 1, "unchanged"},
        {"middle release only brings it forward", Qt::MiddleButton, false, 0, "unchanged"},
        {"right release only brings it forward", Qt::RightButton, false, 0, "unchanged"},
        // The item's own query; the open window is not read again.
        {"left click re-gathers the item", Qt::LeftButton, true, 1, "Office_Laser"},
    };
    QPointer<Form5> first;
    for (const auto& c : cases) {
        main.logic().model().setText("Text18", "unchanged");
        const int before = queries->load();
        const int runs = main.startupRuns();
        if (c.click)
            QTest::mouseClick(command21, c.button);
        else
            QTest::mouseRelease(command21, c.button);
        QPointer<Form5> f = Form5::instance();
        ASSERT_FALSE(f.isNull()) << c.name;
        if (!first) first = f;
        EXPECT_EQ(f, first) << c.name;  // one window only
        EXPECT_EQ(lines(f->List1()), expectedLines) << c.name;
        EXPECT_EQ(main.startupRuns(), runs) << c.name;
        EXPECT_EQ(queries->load() - before, c.newQueries) << c.name;
        EXPECT_EQ(main.logic().model().text("Text18"), c.text18) << c.name;
    }
}

TEST_F(Form5Test, CtrlCCopiesTheSelectedLinesOrAll) {
    showForm5(nullptr, machine);
    QPointer<Form5> f = Form5::instance();
    ASSERT_TRUE(f);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
    auto* list = f->findChild<QListWidget*>("List1");
    auto* button = f->findChild<QPushButton*>("Command1");
    ASSERT_TRUE(list && button);
    struct Row {
        QList<int> selected;
        QWidget* focus;
        QString expected;
    };
    const Row rows[] = {
        {{}, list, expectedLines.join('\n') + '\n'},
        {{2, 0}, list, expectedLines[0] + '\n' + expectedLines[2] + '\n'},
        {{1}, button, expectedLines[1] + '\n'},
    };
    list->setSelectionMode(QAbstractItemView::MultiSelection);
    for (const Row& row : rows) {
        list->clearSelection();
        for (int r : row.selected) list->item(r)->setSelected(true);
        QGuiApplication::clipboard()->clear();
        row.focus->setFocus();
        QTest::keyClick(row.focus, Qt::Key_C, Qt::ControlModifier);
        EXPECT_TRUE(waitFor([&] { return QGuiApplication::clipboard()->text() == row.expected; }))
            << QGuiApplication::clipboard()->text().toStdString();
    }
}
