#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <vector>

namespace torvix::test {

// Answers the modal message boxes as they come, each with the next button of `buttons` (a part
// of the button's text), and records what each box said.
class ScriptedAnswerer {
  public:
    struct Box {
        QString text, title;
        QMessageBox::Icon icon;
        QStringList buttons;
    };

    explicit ScriptedAnswerer(QStringList buttons) : script_(std::move(buttons)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    std::vector<Box> boxes;
    QStringList texts() const {
        QStringList out;
        for (const Box& b : boxes) out << b.text;
        return out;
    }

  private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        Box seen{box->text(), box->windowTitle(), box->icon(), {}};
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        const QString want = boxes.size() < static_cast<size_t>(script_.size())
                                 ? script_[static_cast<qsizetype>(boxes.size())]
                                 : QStringLiteral("OK");
        for (QAbstractButton* b : box->buttons())
            if (b->text().contains(want)) {
                boxes.push_back(seen);
                b->click();
                return;
            }
    }
    QStringList script_;
    QTimer timer_;
};

}  // namespace torvix::test
