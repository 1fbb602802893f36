#include "app/form2.h"

#include <QApplication>
#include <QListWidget>
#include <QScreen>

#include "app/app_look.h"
#include "app/form_widgets.h"
#include "app/logic/form2_content.h"
#include "app/logic/form2_layout.h"

namespace torvix {

Form2::Form2(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(form2Spec().caption);
    setWindowIcon(programIcon());
    setFont(windowFont());
    declareControls(form2Spec(), model_);
    widgets_ = new FormWidgets(form2Spec(), model_, this);
    widgets_->setDefaultBackground(QStringLiteral("Command1"),
                                   QApplication::palette("QMenu").color(QPalette::Window));
    setFixedSize(size());
    List1()->setAccessibleName(form2Spec().caption);
    connect(widgets_, &FormWidgets::clicked, this, [this](const QString& name) {
        if (name == QLatin1String("Command1")) Command1_Click();
    });
    Form_Load();
}

QListWidget* Form2::List1() const {
    return widgets_->get<QListWidget>(QStringLiteral("List1"));
}

void Form2::Form_Load() {
    const QString list = QStringLiteral("List1");
    model_.clearItems(list);
    for (const QString& line : form2Lines()) model_.addItem(list, line);
}

void Form2::Command1_Click() {
    close();
}

void Form2::showCentred() {
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect r(QPoint(), frameGeometry().size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    show();
}

}  // namespace torvix
