#include "output/window_support.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace torvix {

namespace {
constexpr int twipsPerPixel = 15;

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
    parts.list1->setSortingEnabled(false);
    parts.list1->setUniformItemSizes(true);

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
