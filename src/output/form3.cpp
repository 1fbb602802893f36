#include "output/form3.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "output/print_routine.h"
#include "output/window_capture.h"
#include "widgets/window_support.h"

namespace torvix {

namespace {

QPointer<Form3> openForm3;

int toPixels(int twips, qreal dpi) {
    return static_cast<int>(std::lround(twips * (dpi > 0 ? dpi : 96.0) / 1440.0));
}

// The designed option widths leave no room for this style's larger indicator; the option to the
// right stands close by, so the caption is set narrower instead of the button made wider.
void fitCaption(QRadioButton* option) {
    const int needed = option->fontMetrics().horizontalAdvance(option->text());
    const int excess = option->sizeHint().width() - option->width();
    if (excess <= 0 || needed <= 0) return;
    QFont narrow = option->font();
    for (int stretch = std::max(50, (needed - excess) * 100 / needed);; --stretch) {
        narrow.setStretch(stretch);
        option->setFont(narrow);
        if (stretch <= 50 || option->sizeHint().width() <= option->width()) return;
    }
}

}  // namespace

Form3::Form3(QWidget* mainWindow, SharedValues& shared)
    : QWidget(nullptr, Qt::Window), mainWindow_(mainWindow), shared_(shared) {
    setObjectName(QStringLiteral("Form3"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Form3Logic::caption);
    if (mainWindow) setWindowIcon(mainWindow->windowIcon());
    QFont face(QStringLiteral("ＭＳ Ｐ明朝"));
    face.setPointSize(9);
    face.setStyleHint(QFont::Serif);
    setFont(face);

    const qreal dpi = logicalDpiX();
    using K = Form3Control::Kind;
    for (const Form3Control& c : Form3Logic::controls()) {
        QWidget* w = nullptr;
        switch (c.kind) {
            case K::Label: {
                auto* label = new QLabel(c.caption, this);
                if (c.name == QLatin1String("Label1")) {
                    QFont heading = face;
                    heading.setPointSize(14);
                    label->setFont(heading);
                }
                w = label;
                break;
            }
            case K::Frame:
                w = new QGroupBox(c.caption, this);
                break;
            case K::Option: {
                auto* option = new QRadioButton(c.caption, this);
                // One group in which none may be selected: exclusion is done by hand.
                option->setAutoExclusive(false);
                const int n = c.name.right(1).toInt();
                options_[static_cast<size_t>(n - 1)] = option;
                connect(option, &QRadioButton::clicked, this, [this, n] { Option_Click(n); });
                w = option;
                break;
            }
            case K::ScrollBar:
                hscroll1_ = new QScrollBar(Qt::Horizontal, this);
                connect(hscroll1_, &QScrollBar::valueChanged, this, [this](int value) {
                    if (!showing_) HScroll1_Change(value);
                });
                w = hscroll1_;
                break;
            case K::TextBox:
                text1_ = new QLineEdit(this);
                text1_->setTextMargins(0, 0, 0, 0);
                connect(text1_, &QLineEdit::textEdited, this,
                        [this](const QString& text) { logic_.setText(text); });
                w = text1_;
                break;
            case K::Button: {
                auto* button = new QPushButton(c.caption, this);
                button->setAutoDefault(false);
                if (c.name == QLatin1String("Command1")) {
                    command1_ = button;
                    connect(button, &QPushButton::clicked, this, &Form3::Command1_Click);
                } else {
                    command2_ = button;
                    connect(button, &QPushButton::clicked, this, &Form3::Command2_Click);
                }
                w = button;
                break;
            }
        }
        w->setObjectName(c.name);
        w->setGeometry(toPixels(c.left, dpi), toPixels(c.top, dpi), toPixels(c.width, dpi),
                       toPixels(c.height, dpi));
        if (c.kind == K::Option) fitCaption(static_cast<QRadioButton*>(w));
    }
    setFixedSize(toPixels(Form3Logic::clientWidth, dpi), toPixels(Form3Logic::clientHeight, dpi));
    if (mainWindow) connect(mainWindow, &QObject::destroyed, this, &QObject::deleteLater);

    Form_Load();
    openForm3 = this;
}

Form3::~Form3() {
    if (openForm3 == this) openForm3 = nullptr;
}

Form3* Form3::instance() {
    return openForm3.data();
}

QRadioButton* Form3::Option(int n) const {
    return n >= 1 && n <= 4 ? options_[static_cast<size_t>(n - 1)] : nullptr;
}

QWidget* Form3::control(const QString& name) const {
    return findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
}

void Form3::Form_Load() {
    showing_ = true;
    hscroll1_->setMaximum(Form3Logic::scrollMaximum);
    hscroll1_->setMinimum(Form3Logic::scrollMinimum);
    hscroll1_->setSingleStep(Form3Logic::scrollSmallChange);
    hscroll1_->setPageStep(Form3Logic::scrollLargeChange);
    showing_ = false;
    logic_.Form_Load();
    showState();
}

void Form3::showState() {
    showing_ = true;
    for (int n = 1; n <= 4; ++n) Option(n)->setChecked(logic_.selectedOption() == n);
    hscroll1_->setValue(logic_.scrollValue());
    if (text1_->text() != logic_.text()) text1_->setText(logic_.text());
    showing_ = false;
}

void Form3::Option_Click(int n) {
    logic_.Option_Click(n);
    showState();
}

void Form3::HScroll1_Change(int value) {
    logic_.HScroll1_Change(value);
    showState();
}

void Form3::Command1_Click() {
    QPointer<QWidget> mainWindow = mainWindow_;
    if (!mainWindow) {
        close();
        return;
    }
    SharedValues& shared = shared_;
    const PrintRoutine print = print_;
    {
        OkMessageUi ui(this);
        if (!logic_.Command1_Click(shared, ui)) return;
    }
    // Unload first, so that the main window is the active one again before the capture.
    close();
    画面キャプチャ::waitWithEvents(画面キャプチャ::waitMs());
    // The program ends by hiding the main window: nothing more to print then.
    if (!mainWindow || !mainWindow->isVisible()) return;
    if (print) {
        print(mainWindow, shared.PrintScale);
        return;
    }
    OkMessageUi ui(mainWindow);
    画面印刷::printWindow(mainWindow, shared.PrintScale, ui);
}

void Form3::Command2_Click() {
    close();
}

void Form3::closeEvent(QCloseEvent* event) {
    // Unloaded: the next Command14 loads a new dialog even before this one is deleted.
    if (openForm3 == this) openForm3 = nullptr;
    QWidget::closeEvent(event);
}

void showForm3(QWidget* mainWindow, SharedValues& shared) {
    if (Form3* open = Form3::instance()) {
        bringForward(open);
        return;
    }
    showCentred(new Form3(mainWindow, shared), mainWindow);
}

}  // namespace torvix
