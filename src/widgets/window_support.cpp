#include "widgets/window_support.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

namespace torvix {

namespace {
constexpr int twipsPerPixel = 15;

// Ctrl+C in the list itself: the list view would copy only its current line.
class ListCopyFilter : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
            if (auto* list = qobject_cast<QListWidget*>(watched)) {
                copyListLines(list);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

QMessageBox::Icon boxIcon(UserInterface::Icon icon) {
    switch (icon) {
        case UserInterface::Icon::Critical:
            return QMessageBox::Critical;
        case UserInterface::Icon::Information:
            return QMessageBox::Information;
        case UserInterface::Icon::Exclamation:
            return QMessageBox::Warning;
        case UserInterface::Icon::Question:
            return QMessageBox::Question;
        case UserInterface::Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}
}  // namespace

UserInterface::Answer OkMessageUi::messageBox(const QString& text, const QString& title, Buttons,
                                              Icon icon) {
    QPointer<QMessageBox> box = new QMessageBox(parent_);
    box->setWindowTitle(title);
    box->setText(text);
    box->setTextFormat(Qt::PlainText);
    box->setIcon(boxIcon(icon));
    QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    box->exec();
    delete box.data();
    return Answer::Ok;
}

void showCentred(QWidget* window, QWidget* near) {
    QScreen* screen = near && near->screen() ? near->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void bringForward(QWidget* window) {
    if (window->isMinimized()) window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

QString listLinesText(const QListWidget* list) {
    QList<int> rows;
    for (const QListWidgetItem* item : list->selectedItems()) rows << list->row(item);
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty())
        for (int row = 0; row < list->count(); ++row) rows << row;
    QString out;
    for (int row : rows) out += list->item(row)->text() + QLatin1Char('\n');
    return out;
}

void copyListLines(const QListWidget* list) {
    QGuiApplication::clipboard()->setText(listLinesText(list));
}

ListWindowParts buildListWindow(QWidget* window, const QString& objectName, const QString& title,
                                const FormModel& model, QSize sizeTwips) {
    window->setObjectName(objectName);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    QFont face(QStringLiteral("ＭＳ Ｐ明朝"));
    face.setPointSize(9);
    window->setFont(face);

    ListWindowParts parts;
    parts.command1 = new QPushButton(model.text(QStringLiteral("Command1")), window);
    parts.command1->setObjectName(QStringLiteral("Command1"));
    parts.list1 = new QListWidget(window);
    parts.list1->setObjectName(QStringLiteral("List1"));
    parts.list1->setAccessibleName(title);
    parts.list1->setSortingEnabled(false);
    parts.list1->setUniformItemSizes(true);

    // Ctrl+C anywhere in the window copies the selected lines, or all of them.
    QListWidget* list = parts.list1;
    auto* copy = new QShortcut(QKeySequence::Copy, window);
    QObject::connect(copy, &QShortcut::activated, list, [list] { copyListLines(list); });
    list->installEventFilter(new ListCopyFilter(list));

    auto* top = new QHBoxLayout;
    top->addStretch(1);
    top->addWidget(parts.command1);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(top);
    layout->addWidget(parts.list1, 1);
    window->resize(sizeTwips.width() / twipsPerPixel, sizeTwips.height() / twipsPerPixel);
    return parts;
}

}  // namespace torvix
