#include "windows/form6.h"

#include <QDir>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

#include "widgets/window_support.h"

namespace torvix {

namespace {

QPointer<Form6> openForm6;

}  // namespace

Form6::Form6(Machine& machine, UserInterface& loadUi, QWidget* parent)
    : QWidget(parent, Qt::Window), logic_(std::make_unique<Form6Logic>()) {
    const ListWindowParts parts = buildListWindow(this, QStringLiteral("Form6"), Form6Logic::title,
                                                  logic_->model(), QSize(7800, 6900));
    list1_ = parts.list1;
    command1_ = parts.command1;

    connect(command1_, &QPushButton::clicked, this, &Form6::Command1_Click);

    // While the load runs (its message may wait for the user), a further click only finds it.
    openForm6 = this;
    // Form_Load: the file, then the list, before the window shows.
    logic_->Form_Load(machine, currentDirectory(), loadUi);
    list1_->addItems(logic_->model().items(QStringLiteral("List1")));
}

Form6::~Form6() = default;

Form6* Form6::instance() {
    return openForm6.data();
}

void Form6::Command1_Click() {
    QPointer<Form6> self(this);
    OkMessageUi ui(this);
    logic_->Command1_Click(ui);
    if (self) close();
}

void showForm6(QWidget* mainWindow, Machine& machine) {
    if (Form6* open = Form6::instance()) {
        bringForward(open);
        return;
    }
    OkMessageUi loadUi(mainWindow);
    QPointer<QWidget> main(mainWindow);
    QPointer<Form6> form = new Form6(machine, loadUi);
    if (!form) return;
    // The program ended while the load's message waited: nothing to show any more.
    if (mainWindow && (!main || !main->isVisible())) {
        delete form.data();
        return;
    }
    form->show();
    form->raise();
    form->activateWindow();
}

}  // namespace torvix
