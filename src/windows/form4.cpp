#include "windows/form4.h"

#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace torvix {

namespace {

QPointer<Form4> openForm4;

constexpr int twipsPerPixel = 15;

// Message boxes over the list window. (The main window's own helper lives in the layer above.)
class Form4MessageUi : public UserInterface {
  public:
    explicit Form4MessageUi(QWidget* parent) : parent_(parent) {}
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

Form4::Form4(const FormModel& form1, Machine& machine, QWidget* parent)
    : QWidget(parent, Qt::Window), logic_(std::make_unique<Form4Logic>()) {
    setObjectName(QStringLiteral("Form4"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Form4Logic::title);
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
    resize(7800 / twipsPerPixel, 4800 / twipsPerPixel);

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
    QScreen* screen = near && near->screen() ? near->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
    Form4MessageUi ui(this);
    logic_->reportFileError(ui);
}

void Form4::Command1_Click() {
    QPointer<Form4> self(this);
    Form4MessageUi ui(this);
    logic_->Command1_Click(ui);
    if (self) close();
}

void showForm4(QWidget* mainWindow, const FormModel& form1, Machine& machine) {
    if (Form4* open = Form4::instance()) {
        if (open->isMinimized()) open->showNormal();
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }
    auto* form = new Form4(form1, machine);
    form->showLoaded(mainWindow);
}

}  // namespace torvix
