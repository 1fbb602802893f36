#include <gtest/gtest.h>

#include <QClipboard>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>

#include "app/form1.h"
#include "app/form_widgets.h"
#include "app/gui_test_support.h"
#include "app/logic/changes.h"
#include "support/edited_machine.h"

using namespace torvix;

// --compare in the window: the changed box marked, with the old text in its tooltip, after the
// start-up sequence and again after its caption gathers it anew; the menu copies the text of
// --changes.
TEST(Form1Compare, MarksAndCopiesTheChanges) {
    auto later = [] {
        return parseMachineFile(test::editedMachine("office_pc.json", test::officePcWeekLater()),
                                "later.json", false);
    };
    Machine old = loadMachineFile(test::dataPath("machines/office_pc.json"), false);
    const auto older = std::make_shared<const ShownComputer>(shownComputer(old));
    Machine machine = later();
    Form1 form(machine, {[] {}});
    form.setComparison(older);
    form.showCentred();
    ASSERT_TRUE(test::waitFor([&] { return form.startupRuns() >= 1; }));
    const FormModel& model = form.logic().model();
    for (const char* click : {"", "Command24"}) {
        SCOPED_TRACE(click);
        if (*click) QTest::mouseClick(form.findChild<QPushButton*>(click), Qt::LeftButton);
        EXPECT_EQ(model.background("Text25"), changedBackground);
        EXPECT_EQ(form.widgets().widget("Text25")->toolTip(),
                  "前回 (2024/04/01 08:05:09): 192.168.0.3");
        EXPECT_NE(model.background("Text24"), changedBackground);
    }
    auto* frame = form.findChild<QGroupBox*>("Frame3");
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                            frame->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(frame, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu);
    for (QAction* a : menu->actions())
        if (a->text() == Form1::copyChangesCaption()) a->trigger();
    menu->close();
    Machine again = later();
    // The window's clocks run on: only the count of moving values left out may differ.
    const auto changed = [](const QString& t) { return t.left(t.indexOf("自然に変わる値")); };
    const QString want = changesText(compareComputers(*older, shownComputer(again), false));
    EXPECT_EQ(changed(QGuiApplication::clipboard()->text()).toStdString(),
              changed(want).toStdString());
    EXPECT_TRUE(want.contains("DNS Server (2)"));
}
