#include "windows/form5.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace torvix {

namespace {

QPointer<Form5> openForm5;

constexpr int twipsPerPixel = 15;

}  // namespace

Form5::Form5(Machine& machine, QWidget* parent)
    : QWidget(parent, Qt::Window), logic_(std::make_unique<Form5Logic>()) {
    setObjectName(QStringLiteral("Form5"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Form5Logic::title);
    QFont face(QStringLiteral("ＭＳ Ｐ明朝"));
    face.setPointSize(9);
    setFont(face);

    command1_ = new QPushButton(logic_->model().text(QStringLiteral("Command1")), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    list1_ = new QListWidget(this);
    list1_->setObjectName(QStringLiteral("List1"));
    list1_->setSortingEnabled(false);
    list1_->setUniformItemSizes(true);

    auto* top = new QHBoxLayout;
    top->addStretch(1);
    top->addWidget(command1_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(top);
    layout->addWidget(list1_, 1);
    resize(9000 / twipsPerPixel, 4200 / twipsPerPixel);

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
    QScreen* screen = near && near->screen() ? near->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
}

void Form5::Command1_Click() {
    close();
}

void showForm5(QWidget* mainWindow, Machine& machine) {
    if (Form5* open = Form5::instance()) {
        if (open->isMinimized()) open->showNormal();
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }
    auto* form = new Form5(machine);
    form->showLoaded(mainWindow);
}

}  // namespace torvix
