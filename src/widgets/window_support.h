#pragma once

#include <QPointer>
#include <QSize>
#include <QString>

#include "items/form_model.h"
#include "items/user_interface.h"

class QListWidget;
class QPushButton;
class QWidget;

// What every window of the program does alike: message boxes over it, placement and bringing it
// forward, and the layout of the list windows.
namespace torvix {

// Message boxes with one OK button over a window of the program. The box lives on the heap and
// is watched, since the program may end (and close the window) while it waits.
class OkMessageUi : public UserInterface {
  public:
    explicit OkMessageUi(QWidget* parent) : parent_(parent) {}
    Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                      Icon icon) override;

  private:
    QPointer<QWidget> parent_;
};

// Centres `window` on the screen of `near` (the primary screen when null), then shows and
// activates it.
void showCentred(QWidget* window, QWidget* near);
// Shows an open window again: restored if minimised, raised and activated.
void bringForward(QWidget* window);

// The list windows' common face: "ＭＳ Ｐ明朝" 9 pt, the close button `Command1` at the top right
// and the unsorted list `List1` below it, at `sizeTwips` (15 twips to a pixel).
struct ListWindowParts {
    QListWidget* list1 = nullptr;
    QPushButton* command1 = nullptr;
};
// The list windows' lines as text: the selected ones in list order, or all when none is
// selected; each ends in "\n". copyListLines puts them on the clipboard (Ctrl+C does).
QString listLinesText(const QListWidget* list);
void copyListLines(const QListWidget* list);

ListWindowParts buildListWindow(QWidget* window, const QString& objectName, const QString& title,
                                const FormModel& model, QSize sizeTwips);

}  // namespace torvix
