#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include "app/form1.h"
#include "app/form_widgets.h"
#include "app/gui_test_support.h"
#include "platform/live/lazy_cursor.h"
#include "support/test_support.h"

using namespace torvix;
using torvix::test::MessageBoxAnswerer;
using torvix::test::waitFor;

namespace {

// Products that take a while each, as a slow installer database does.
class SlowProducts : public wmi::ClassProvider {
  public:
    SlowProducts(int count, int msEach) : count_(count), msEach_(msEach) {}
    QString className() const override { return "Win32_Product"; }
    QStringList propertyNames() const override { return wmi::schemaProperties(className()); }
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query&) const override {
        return std::make_unique<wmi::FunctionCursor>(
            [n = 0, count = count_, ms = msEach_]() mutable -> std::optional<wmi::Instance> {
                if (n == count) return std::nullopt;
                ++n;
                QThread::msleep(static_cast<unsigned long>(ms));
                return live::makeSchemaInstance(
                    "Win32_Product", {{"Caption", wmi::Value(QStringLiteral("app%1").arg(n))},
                                      {"Version", wmi::Value(QStringLiteral("1.%1").arg(n))}});
            });
    }

  private:
    int count_, msEach_;
};

QPushButton* button(Form1& form, const QString& name) {
    return qobject_cast<QPushButton*>(form.widgets().widget(name));
}

}  // namespace

TEST(SoftwareListInTheWindow, TheWindowStaysAliveWhileTheListGrows) {
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    Machine machine = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
    auto registry = std::make_shared<wmi::Registry>(machine.wmi->registry());
    const int count = 250;
    registry->add(std::make_shared<SlowProducts>(count, 8));  // two seconds in all
    machine.wmi = std::make_shared<wmi::QueryService>(registry);
    Form1::Options options;
    int exits = 0;
    options.exitProgram = [&] { ++exits; };
    Form1 form(machine, options);
    form.showCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_TRUE(waitFor([&] { return form.startupRuns() >= 1; }));
    auto* list = qobject_cast<QListWidget*>(form.widgets().widget("List1"));
    auto* text1 = qobject_cast<QLineEdit*>(form.widgets().widget("Text1"));

    int ticks = 0;
    QObject::connect(&form.Timer2(), &QTimer::timeout, [&] { ++ticks; });
    form.logic().model().setText("Text1", "x");
    struct Seen {
        bool running = false;
        qsizetype linesShown = 0;
        QString text1;
        int ticks = 0;
        QString label4;
    } atStart, later;
    // While the run goes on: another button, and Command31 once more.
    QTimer::singleShot(400, [&] {
        atStart.running = form.logic().softwareListRunning();
        atStart.ticks = ticks;
        QTest::mouseClick(button(form, "Command1"), Qt::LeftButton);
        atStart.text1 = text1->text();
        QTest::mouseClick(button(form, "Command31"), Qt::LeftButton);
    });
    QTimer::singleShot(1700, [&] {
        later.running = form.logic().softwareListRunning();
        later.linesShown = list->count();
        later.ticks = ticks;
        later.label4 = qobject_cast<QLabel*>(form.widgets().widget("Label4"))->text();
    });
    MessageBoxAnswerer yes("はい");
    MessageBoxAnswerer ok("OK");
    QTest::mouseClick(button(form, "Command31"), Qt::LeftButton);  // returns when the run ends
    ASSERT_TRUE(waitFor([&] { return ok.answered() == 1; }, 10000));
    QDir::setCurrent(previous);

    EXPECT_TRUE(atStart.running);
    EXPECT_EQ(atStart.text1, "2.394GHz");  // the other button did its work at once
    EXPECT_TRUE(later.running);
    EXPECT_GT(later.linesShown, 0);
    EXPECT_LT(later.linesShown, count);         // the list grows on screen as the run goes
    EXPECT_GE(later.ticks - atStart.ticks, 1);  // and the clock goes on ticking
    EXPECT_EQ(later.label4, "自動では停止しません");
    EXPECT_EQ(yes.answered(), 1);  // the second click asked nothing and started nothing
    EXPECT_EQ(ok.title, "リスト作成");
    EXPECT_EQ(list->count(), count);
    EXPECT_EQ(list->item(count - 1)->text(), QStringLiteral("app%1 1.%1").arg(count));
    // The last line is in view.
    const QRect last = list->visualItemRect(list->item(count - 1));
    EXPECT_TRUE(list->viewport()->rect().contains(last.center()));
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(204, 255, 255));
    QFile file(dir.path() + "/インストールソフト名.txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("\r\n"), count);
    EXPECT_EQ(exits, 0);
}
