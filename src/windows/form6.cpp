#include "windows/form6.h"

#include <QDir>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace torvix {

namespace {

QPointer<Form6> openForm6;

constexpr int twipsPerPixel = 15;

// OK message boxes over a window of the program. (The main window's own helper lives in the
// layer above.)
class OkMessageUi : public UserInterface {
  public:
    explicit OkMessageUi(QWidget* parent) : parent_(parent) {}
    Answer messageBox(const QString& text, const QString& title, Buttons, Icon icon) override {
        // On the heap and watched: the program may end (and close the window) while it waits.
        QPointer<QMessageBox> box = new QMessageBox(parent_);
        box->setWindowTitle(title);
        box->setText(text);
        box->setTextFormat(Qt::PlainText);
        box->setIcon(icon == Icon::Critical      ? QMessageBox::Critical
                     : icon == Icon::Information ? QMessageBox::Information
                     : icon == Icon::Exclamation ? QMessageBox::Warning
                     : icon == Icon::Question    ? QMessageBox::Question
                                                 : QMessageBox::NoIcon);
        QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box->setDefaultButton(ok);
        box->setEscapeButton(ok);
        box->exec();
        delete box.data();
        return Answer::Ok;
    }

  private:
    QPointer<QWidget> parent_;
};

}  // namespace

Form6::Form6(Machine& machine, UserInterface& loadUi, QWidget* parent)
    : QWidget(parent, Qt::Window), logic_(std::make_unique<Form6Logic>()) {
    setObjectName(QStringLiteral("Form6"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Form6Logic::title);
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
    resize(7800 / twipsPerPixel, 6900 / twipsPerPixel);

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
        if (open->isMinimized()) open->showNormal();
        open->show();
        open->raise();
        open->activateWindow();
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
