#include "windows/form4.h"

#include <QDir>
#include <QListWidget>
#include <QPushButton>

#include "widgets/window_support.h"

namespace torvix {

namespace {

QPointer<Form4> openForm4;

}  // namespace

Form4::Form4(const FormModel& form1, Machine& machine, QWidget* parent)
    : QWidget(parent, Qt::Window), logic_(std::make_unique<Form4Logic>()) {
    const ListWindowParts parts = buildListWindow(this, QStringLiteral("Form4"), Form4Logic::title,
                                                  logic_->model(), QSize(7800, 4800));
    list1_ = parts.list1;
    command1_ = parts.command1;

    connect(command1_, &QPushButton::clicked, this, &Form4::Command1_Click);

    // Form_Load: fill the list and write the file before the window shows.
    logic_->Form_Load(form1, machine, currentDirectory());
    list1_->addItems(logic_->model().items(QStringLiteral("List1")));
    list1_->setToolTip(logic_->model().toolTip(QStringLiteral("List1")));

    openForm4 = this;
}

Form4::~Form4() = default;

Form4* Form4::instance() {
    return openForm4.data();
}

void Form4::showLoaded(QWidget* near) {
    showCentred(this, near);
    OkMessageUi ui(this);
    logic_->reportFileError(ui);
}

void Form4::Command1_Click() {
    QPointer<Form4> self(this);
    OkMessageUi ui(this);
    logic_->Command1_Click(ui);
    if (self) close();
}

void showForm4(QWidget* mainWindow, const FormModel& form1, Machine& machine) {
    if (Form4* open = Form4::instance()) {
        bringForward(open);
        return;
    }
    auto* form = new Form4(form1, machine);
    form->showLoaded(mainWindow);
}

}  // namespace torvix
