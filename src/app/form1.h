#pragma once

#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "app/logic/form1_logic.h"
#include "app/message_box_ui.h"
#include "windows/program_windows.h"

class QAction;
class QMenu;
class QWindow;

namespace torvix {

class Form2;
class FormWidgets;
struct ShownComputer;

// The main window トルビクス. It shows Form1Logic's model, runs the start-up sequence whenever it
// becomes the active window after another window of the program was active (and when first
// shown), drives the two timers and cannot be closed from its title bar.
class Form1 : public QWidget, public ProgramControl {
    Q_OBJECT
  public:
    struct Options {
        // Ends the event loop; the tests replace it so the test process goes on.
        std::function<void()> exitProgram;
    };

    explicit Form1(Machine& machine, Options options = {});
    ~Form1() override;

    Form1Logic& logic() { return logic_; }
    FormWidgets& widgets() { return *widgets_; }
    QTimer& Timer1() { return timer1_; }
    QTimer& Timer2() { return timer2_; }
    int startupRuns() const { return startupRuns_; }
    Form2* form2() const;
    bool ending() const { return ending_; }

    // Shows the window centred on its screen.
    void showCentred();

    // Where the compositor leaves the title bar to the client, whose own one would offer the
    // boxes the lock removes: the window draws a caption-only bar above its contents instead.
    // Call before the window is first shown.
    void useOwnTitleBar();
    QWidget* ownTitleBar() const { return captionBar_; }

    // What pressing an action button does (print, save, copy, software list, ...), and what
    // releasing any mouse button over a "(クリックで一覧)" caption opens.
    void setClickAction(const QString& button, std::function<void()> action);
    void setListOpener(const QString& button, std::function<void()> open);

    // ProgramControl
    void removeCloseBox() override;
    void endProgram() override;
    void setTimerInterval(int timer, int intervalMs) override;

    void Command15_Click();

    // "値をテキストでコピー": the item table as text on the clipboard.
    void copyValuesAsText();
    static QString copyValuesCaption() { return QStringLiteral("値をテキストでコピー"); }

    // --compare OLD: boxes whose text differs from `older`'s are marked after the start-up
    // sequence and after every re-gathering, and the menus gain the copy of the changes.
    void setComparison(std::shared_ptr<const ShownComputer> older);
    // "変更点をテキストでコピー": the text of --changes between OLD and the window.
    void copyChangesAsText();
    static QString copyChangesCaption() { return QStringLiteral("変更点をテキストでコピー"); }

  Q_SIGNALS:
    // The start-up sequence has run to its end.
    void startupSequenceDone();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void applyTitleBarHints();
    void installValueCopy();
    void scheduleStartup();
    void Form_Activate();
    void onClicked(const QString& name);
    void onMouseReleased(const QString& name, Qt::MouseButton button);
    void markChanges();
    void addCopyActions(QMenu* menu, QAction* before);

    MessageBoxUi ui_;
    Form1Logic logic_;
    FormWidgets* widgets_ = nullptr;
    QWidget* captionBar_ = nullptr;
    Options options_;
    QTimer timer1_;
    QTimer timer2_;
    QPointer<Form2> form2_;
    QHash<QString, std::function<void()>> clickActions_;
    QHash<QString, std::function<void()>> listOpeners_;
    std::shared_ptr<const ShownComputer> older_;

    ActivationWatch* activation_ = nullptr;  // coming back from another window of the program
    bool shownOnce_ = false;
    bool startupQueued_ = false;
    bool startupRunning_ = false;
    bool ending_ = false;
    int startupRuns_ = 0;
};

// The _MOTIF_WM_HINTS of a shown top-level window (flags, functions, decorations, input mode,
// status) when running on X11; nothing on other platforms or when the property is not set.
std::optional<std::array<quint32, 5>> x11MotifHints(const QWidget& window);

}  // namespace torvix
