#include "windows/form5.h"

#include <QListWidget>
#include <QPointer>
#include <QPushButton>

#include "widgets/window_support.h"

namespace torvix {

namespace {

QPointer<Form5> openForm5;

}  // namespace

Form5::Form5(Machine& machine, QWidget* parent)
    : QWidget(parent, Qt::Window), logic_(std::make_unique<Form5Logic>()) {
    const ListWindowParts parts = buildListWindow(this, QStringLiteral("Form5"), Form5Logic::title,
                                                  logic_->model(), QSize(9000, 4200));
    list1_ = parts.list1;
    command1_ = parts.command1;

    connect(command1_, &QPushButton::clicked, this, &Form5::Command1_Click);

    // Form_Load: the list is filled before the window shows, and only here.
    logic_->Form_Load(machine);
    list1_->addItems(logic_->model().items(QStringLiteral("List1")));

    openForm5 = this;
}

Form5::~Form5() = default;

Form5* Form5::instance() {
    return openForm5.data();
}

void Form5::showLoaded(QWidget* near) {
    showCentred(this, near);
}

void Form5::Command1_Click() {
    close();
}

void showForm5(QWidget* mainWindow, Machine& machine) {
    if (Form5* open = Form5::instance()) {
        bringForward(open);
        return;
    }
    auto* form = new Form5(machine);
    form->showLoaded(mainWindow);
}

}  // namespace torvix
