#include "app/message_box_ui.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace torvix {

UserInterface::Answer MessageBoxUi::messageBox(const QString& text, const QString& title,
                                               Buttons buttons, Icon icon) {
    QMessageBox box(parent_);
    box.setWindowTitle(title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
        case Icon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case Icon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case Icon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    // The button texts of a Japanese desktop. Closing the box without a button counts as the
    // answer that stops nothing dangerous: No or Cancel.
    QPushButton* ok = nullptr;
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    QPushButton* cancel = nullptr;
    switch (buttons) {
        case Buttons::Ok:
            ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
            box.setEscapeButton(ok);
            box.setDefaultButton(ok);
            break;
        case Buttons::YesNo:
            yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
            no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
            box.setEscapeButton(no);
            box.setDefaultButton(yes);
            break;
        case Buttons::OkCancel:
            ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
            cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
            box.setEscapeButton(cancel);
            box.setDefaultButton(ok);
            break;
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked && clicked == yes) return Answer::Yes;
    if (clicked && clicked == ok) return Answer::Ok;
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::OkCancel:
            return Answer::Cancel;
    }
    return Answer::Cancel;
}

void MessageBoxUi::yield() {
    // Each turn of the event loop repaints what changed. More turns than the screen has frames
    // only make a run of thousands of short steps slow (a repaint costs far more than a step),
    // so turns closer together than one frame are passed over; clicks and ticks still wait no
    // longer than that.
    constexpr qint64 frameMs = 16;
    if (sinceYield_.isValid() && sinceYield_.elapsed() < frameMs) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sinceYield_.start();
}

}  // namespace torvix
