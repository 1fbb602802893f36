#include "windows/form7.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

#include "widgets/window_support.h"
#include "windows/program_windows.h"

namespace torvix {

namespace {

QPointer<Form7> openForm7;

constexpr int twipsPerPixel = 15;

// Without a way to ask, nothing is confirmed: questions are answered No.
class DecliningUi : public UserInterface {
  public:
    Answer messageBox(const QString& text, const QString&, Buttons buttons, Icon) override {
        std::fprintf(stderr, "torvix: %s\n", text.toLocal8Bit().constData());
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
};

QString shownText(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

}  // namespace

Form7::Form7(const Machine& machine, const MessageUiFactory& messageUi, QWidget* parent)
    : QWidget(parent, Qt::Window), machine_(machine) {
    setObjectName(QStringLiteral("Form7"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Form7Logic::caption);
    QFont face(QStringLiteral("ＭＳ Ｐ明朝"));
    face.setPointSize(9);
    setFont(face);
    ui_ = messageUi ? messageUi(this) : nullptr;
    if (!ui_) ui_ = std::make_unique<DecliningUi>();

    const FormModel& m = logic_.model();
    text1_ = new QPlainTextEdit(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setReadOnly(true);
    text1_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The history lines are aligned with blanks: a fixed-pitch face keeps their columns, and it
    // must hold the Japanese glyphs too, or digits and kana would come from different faces.
    QFont fixed;
    fixed.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"),
                       QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("IPAMincho"),
                       QStringLiteral("monospace")});
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setPointSize(9);
    text1_->setFont(fixed);
    label1_ = new QLabel(m.text(QStringLiteral("Label1")), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    text2_ = new QLineEdit(m.text(QStringLiteral("Text2")), this);
    text2_->setObjectName(QStringLiteral("Text2"));
    auto button = [this, &m](const char* name) {
        auto* b = new QPushButton(m.text(QLatin1String(name)), this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    command2_ = button("Command2");
    command1_ = button("Command1");
    command3_ = button("Command3");
    command4_ = button("Command4");

    auto* right = new QVBoxLayout;
    right->addWidget(label1_);
    right->addWidget(text2_);
    right->addSpacing(8);
    for (QPushButton* b : {command2_, command1_, command3_, command4_}) right->addWidget(b);
    right->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(text1_, 1);
    layout->addLayout(right);
    resize(7800 / twipsPerPixel, 5100 / twipsPerPixel);

    connect(&logic_.model(), &FormModel::controlChanged, this, &Form7::onControlChanged);
    connect(text2_, &QLineEdit::textChanged, this,
            [this](const QString& text) { logic_.model().setText(QStringLiteral("Text2"), text); });
    connect(command1_, &QPushButton::clicked, this, &Form7::Command1_Click);
    connect(command2_, &QPushButton::clicked, this, &Form7::Command2_Click);
    connect(command3_, &QPushButton::clicked, this, &Form7::Command3_Click);
    connect(command4_, &QPushButton::clicked, this, &Form7::Command4_Click);

    activation_ = new ActivationWatch(this);
    connect(activation_, &ActivationWatch::cameBack, this, &Form7::Form_Activate);

    openForm7 = this;
}

Form7::~Form7() = default;

Form7* Form7::instance() {
    return openForm7.data();
}

void Form7::onControlChanged(const QString& name) {
    const FormModel& m = logic_.model();
    if (name == QLatin1String("Text1")) {
        text1_->setPlainText(shownText(m.text(name)));
        text1_->setToolTip(m.toolTip(name));
        // The waiting text must be seen before the log is read, which holds the window.
        if (m.text(name) == Form7Logic::waiting && text1_->isVisible())
            text1_->viewport()->repaint();
    } else if (name == QLatin1String("Text2")) {
        if (text2_->text() != m.text(name)) text2_->setText(m.text(name));
    }
}

void Form7::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    // Opening is the first activation, whether or not the window system activates it.
    activation_->setActive();
    Form_Activate();
}

void Form7::Form_Activate() {
    logic_.Form_Activate();
}

void Form7::showCentred(QWidget* near) {
    torvix::showCentred(this, near);
}

void Form7::Command1_Click() {
    close();
}

void Form7::Command2_Click() {
    logic_.Command2_Click(machine_, *ui_);
}

void Form7::Command3_Click() {
    pressShutdownButton([this] { logic_.Command3_Click(machine_, *ui_); });
}

void Form7::Command4_Click() {
    pressShutdownButton([this] { logic_.Command4_Click(machine_, *ui_); });
}

void Form7::pressShutdownButton(const std::function<void()>& press) {
    // The program may end while the command runs (the automatic end closes this window): the
    // window must outlive the wait, which still tells it the command's answer.
    const bool deleteOnClose = testAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Clicks made while the command runs come in once it has ended: the buttons take them
    // disabled, so that a second press starts nothing.
    command3_->setEnabled(false);
    command4_->setEnabled(false);
    press();
    QCoreApplication::processEvents();
    command3_->setEnabled(true);
    command4_->setEnabled(true);
    setAttribute(Qt::WA_DeleteOnClose, deleteOnClose);
    if (deleteOnClose && !isVisible()) deleteLater();
}

void showForm7(QWidget* mainWindow, const Machine& machine, const MessageUiFactory& messageUi) {
    if (Form7* open = Form7::instance()) {
        bringForward(open);
        return;
    }
    auto* form = new Form7(machine, messageUi);
    form->showCentred(mainWindow);
}

}  // namespace torvix
