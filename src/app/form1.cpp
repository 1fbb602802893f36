#include "app/form1.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cstdlib>

#ifdef TORVIX_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include "app/app_look.h"
#include "app/caption_bar.h"
#include "app/form2.h"
#include "app/form_widgets.h"
#include "app/logic/changes.h"
#include "app/logic/item_text.h"
#include "app/readable_label.h"
#include "output/form3.h"
#include "output/screen_copy.h"
#include "output/screen_save.h"
#include "windows/form4.h"
#include "windows/form5.h"
#include "windows/form6.h"
#include "windows/form7.h"
#include "windows/logic/diagnostic_tool.h"

namespace torvix {

namespace {

// A title bar with the caption only: no window menu, no close, minimise or maximise box.
constexpr Qt::WindowFlags lockedFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
constexpr Qt::WindowFlags titleButtons =
    Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
    Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint;

#ifdef TORVIX_HAVE_XCB
// The Motif hint as window managers read it: flags, functions, decorations, input mode, status.
constexpr uint32_t mwmHintsDecorations = 1u << 1;
constexpr uint32_t mwmDecorBorder = 1u << 1;
constexpr uint32_t mwmDecorTitle = 1u << 3;

xcb_connection_t* x11Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t motifHintsAtom(xcb_connection_t* c) {
    static const char name[] = "_MOTIF_WM_HINTS";
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}
#endif

}  // namespace

std::optional<std::array<quint32, 5>> x11MotifHints(const QWidget& window) {
#ifdef TORVIX_HAVE_XCB
    xcb_connection_t* c = x11Connection();
    if (!c || !window.windowHandle()) return std::nullopt;
    const xcb_atom_t atom = motifHintsAtom(c);
    if (atom == XCB_ATOM_NONE) return std::nullopt;
    const auto win = static_cast<xcb_window_t>(window.windowHandle()->winId());
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, win, atom, atom, 0, 5), nullptr);
    std::optional<std::array<quint32, 5>> hints;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 20) {
        std::array<quint32, 5> v{};
        const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        std::copy(data, data + 5, v.begin());
        hints = v;
    }
    free(reply);
    return hints;
#else
    Q_UNUSED(window);
    return std::nullopt;
#endif
}

Form1::Form1(Machine& machine, Options options)
    : QWidget(nullptr, lockedFlags),
      ui_(this),
      logic_(machine, ui_, *this),
      options_(std::move(options)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(form1Spec().caption);
    setWindowIcon(programIcon());
    setFont(windowFont());
    widgets_ = new FormWidgets(form1Spec(), logic_.model(), this);
    setFixedSize(size());
    // A screen reader names each value after its caption, and Tab goes as the eye reads.
    const QHash<QString, QString>& names = form1AccessibleNames();
    for (auto it = names.begin(); it != names.end(); ++it)
        if (auto* label = widgets_->get<QLabel>(it.key()))
            makeReadableLabel(label, it.value());
        else if (QWidget* w = widgets_->widget(it.key()))
            w->setAccessibleName(it.value());
    const QStringList order = visualTabOrder(form1Spec());
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(widgets_->widget(order[i - 1]), widgets_->widget(order[i]));
    if (!options_.exitProgram) options_.exitProgram = [] { QCoreApplication::exit(0); };

    connect(widgets_, &FormWidgets::clicked, this, &Form1::onClicked);
    connect(widgets_, &FormWidgets::mouseReleased, this, &Form1::onMouseReleased);
    activation_ = new ActivationWatch(this);
    connect(activation_, &ActivationWatch::cameBack, this, [this] {
        if (!ending_) scheduleStartup();
    });
    connect(&timer1_, &QTimer::timeout, this, [this] {
        if (!ending_) logic_.Timer1_Timer();
    });
    connect(&timer2_, &QTimer::timeout, this, [this] {
        if (!ending_) logic_.Timer2_Timer();
    });

    setClickAction(QStringLiteral("Command15"), [this] { Command15_Click(); });
    setClickAction(QStringLiteral("Command14"), [this] { showForm3(this, logic_.shared()); });
    setListOpener(QStringLiteral("Command6"),
                  [this] { showForm4(this, logic_.model(), logic_.machine()); });
    setListOpener(QStringLiteral("Command21"), [this] { showForm5(this, logic_.machine()); });
    setListOpener(QStringLiteral("Command29"), [this] {
        showForm7(this, logic_.machine(),
                  [](QWidget* w) { return std::make_unique<MessageBoxUi>(w); });
    });
    setClickAction(QStringLiteral("Command36"),
                   [this] { Command36_Click(logic_.machine().launcher.get(), ui_); });
    setClickAction(QStringLiteral("Command37"), [this] { showForm6(this, logic_.machine()); });
    setClickAction(QStringLiteral("Command38"),
                   [this] { 画面保存::Command38_Click(this, logic_.machine().system.get(), ui_); });
    setClickAction(QStringLiteral("Command41"), [this] { 画面コピー::Command41_Click(this, ui_); });
    installValueCopy();
}

void Form1::installValueCopy() {
    using K = ControlSpec::Kind;
    for (const ControlSpec& c : form1Spec().controls) {
        QWidget* w = widgets_->widget(c.name);
        if (!w) continue;
        if (c.kind == K::Button || c.kind == K::ListBox) {
            // A right click on a caption opens its list; neither it nor the message list
            // passes the click on to the window's menu.
            w->setContextMenuPolicy(Qt::PreventContextMenu);
        } else if (c.kind == K::TextBox) {
            auto* box = static_cast<QLineEdit*>(w);
            box->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(box, &QWidget::customContextMenuRequested, this, [this, box](QPoint at) {
                // The box's own entries (copy a selection, select all) stay below ours.
                QMenu* menu = box->createStandardContextMenu();
                QAction* first = menu->actions().value(0);
                addCopyActions(menu, first);
                menu->insertSeparator(first);
                menu->setAttribute(Qt::WA_DeleteOnClose);
                menu->popup(box->mapToGlobal(at));
            });
            box->installEventFilter(this);
        }
    }
}

void Form1::copyValuesAsText() {
    QGuiApplication::clipboard()->setText(itemTableText(logic_.model()));
}

void Form1::addCopyActions(QMenu* menu, QAction* before) {
    QAction* copy = new QAction(copyValuesCaption(), menu);
    connect(copy, &QAction::triggered, this, &Form1::copyValuesAsText);
    menu->insertAction(before, copy);
    if (!older_) return;
    QAction* changes = new QAction(copyChangesCaption(), menu);
    connect(changes, &QAction::triggered, this, &Form1::copyChangesAsText);
    menu->insertAction(before, changes);
}

void Form1::setComparison(std::shared_ptr<const ShownComputer> older) {
    older_ = std::move(older);
}

void Form1::markChanges() {
    if (older_) markChangedBoxes(*older_, logic_.model());
}

void Form1::copyChangesAsText() {
    if (!older_) return;
    const ShownComputer now = shownComputer(logic_);
    QGuiApplication::clipboard()->setText(changesText(compareComputers(*older_, now, false)));
}

void Form1::contextMenuEvent(QContextMenuEvent* event) {
    // The window's background, its frames and its labels.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    addCopyActions(menu, nullptr);
    menu->popup(event->globalPos());
    event->accept();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // Ctrl+C in a value box copies the whole table; a part of the value the user has selected
    // is copied as a box always copies it.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        auto* box = qobject_cast<QLineEdit*>(watched);
        if (box && !box->hasSelectedText()) {
            copyValuesAsText();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

Form1::~Form1() {
    ending_ = true;
    timer1_.stop();
    timer2_.stop();
    delete form2_.data();
}

Form2* Form1::form2() const {
    return form2_.data();
}

void Form1::showCentred() {
    if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect r(QPoint(), size());
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
    show();
}

void Form1::useOwnTitleBar() {
    if (captionBar_) return;
    const QList<QWidget*> contents = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    auto* bar = new CaptionBar(this);
    const int barHeight = bar->sizeHint().height();
    // The contents keep their designed places relative to each other, below the bar.
    for (QWidget* w : contents)
        if (!w->isWindow()) w->move(w->x(), w->y() + barHeight);
    bar->setGeometry(0, 0, width(), barHeight);
    setFixedSize(width(), height() + barHeight);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    captionBar_ = bar;
}

void Form1::setClickAction(const QString& button, std::function<void()> action) {
    clickActions_.insert(button, std::move(action));
}

void Form1::setListOpener(const QString& button, std::function<void()> open) {
    listOpeners_.insert(button, std::move(open));
}

void Form1::removeCloseBox() {
    // The window is made without the buttons already (changing the flags of a shown window
    // makes it flicker and activate again); this only restores the lock if something lifted it.
    const Qt::WindowFlags flags = windowFlags();
    if (!(flags & titleButtons) && (flags & Qt::CustomizeWindowHint)) return;
    const bool wasVisible = isVisible();
    setWindowFlags((flags & ~titleButtons) | lockedFlags);
    if (wasVisible) show();
}

void Form1::endProgram() {
    if (ending_) return;
    ending_ = true;
    timer1_.stop();
    timer2_.stop();
    hide();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible()) w->close();
    options_.exitProgram();
}

void Form1::setTimerInterval(int timer, int intervalMs) {
    if (ending_ || intervalMs <= 0) return;
    // As a set interval does on an enabled timer: it counts from here, so the first tick falls
    // due one interval after step 1 or 2, however long the rest of the sequence takes.
    (timer == 1 ? timer1_ : timer2_).start(intervalMs);
}

void Form1::applyTitleBarHints() {
#ifdef TORVIX_HAVE_XCB
    // Qt writes only the functions of the Motif hint, so window managers keep their default
    // buttons. Asking for a border and a title alone takes the menu, minimise and maximise
    // boxes away where the manager honours the decorations (fluxbox 1.3 still draws its stick
    // and close buttons: no Motif bit governs them). Other platforms: nothing to do.
    xcb_connection_t* c = x11Connection();
    if (!c || !windowHandle()) return;
    const xcb_atom_t atom = motifHintsAtom(c);
    if (atom == XCB_ATOM_NONE) return;
    std::array<quint32, 5> hints = x11MotifHints(*this).value_or(std::array<quint32, 5>{});
    const std::array<quint32, 5> wanted = {hints[0] | mwmHintsDecorations, hints[1],
                                           mwmDecorBorder | mwmDecorTitle, hints[3], hints[4]};
    if (hints == wanted) return;
    const auto win = static_cast<xcb_window_t>(windowHandle()->winId());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, atom, atom, 32, 5, wanted.data());
    xcb_flush(c);
#endif
}

void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Qt rewrites the hint whenever the native window is made or its flags change, and the
    // window is mapped right after this event: set it again here, before the manager looks.
    applyTitleBarHints();
    if (shownOnce_) return;
    shownOnce_ = true;
    // First showing is the first activation, whether or not the window manager activates us.
    activation_->setActive();
    scheduleStartup();
}

void Form1::closeEvent(QCloseEvent* event) {
    // Only the stop button and the automatic end close the main window.
    if (ending_)
        event->accept();
    else
        event->ignore();
}

void Form1::scheduleStartup() {
    // The window serves paint and timer events while a slow server is waited for: an activation
    // meanwhile is answered by the sequence already running, never by a second one.
    if (startupRunning_ || startupQueued_) return;
    startupQueued_ = true;
    // After the activation has been handled, never from inside it.
    QMetaObject::invokeMethod(this, &Form1::Form_Activate, Qt::QueuedConnection);
}

void Form1::Form_Activate() {
    startupQueued_ = false;
    if (ending_ || startupRunning_) return;
    startupRunning_ = true;
    const bool ran = logic_.runStartupSequence();
    startupRunning_ = false;
    if (!ran) return;  // the installed software list is being built
    markChanges();
    ++startupRuns_;
    if (ending_) return;
    Q_EMIT startupSequenceDone();
}

void Form1::onClicked(const QString& name) {
    if (ending_) return;
    if (logic_.click(name)) {
        markChanges();  // a caption's item gathered again
        return;
    }
    if (auto it = clickActions_.constFind(name); it != clickActions_.constEnd() && *it) (*it)();
}

void Form1::onMouseReleased(const QString& name, Qt::MouseButton) {
    if (ending_) return;
    if (auto it = listOpeners_.constFind(name); it != listOpeners_.constEnd() && *it) (*it)();
}

void Form1::Command15_Click() {
    if (form2_) {
        form2_->show();
        form2_->raise();
        form2_->activateWindow();
        return;
    }
    form2_ = new Form2(this);
    form2_->showCentred();
    form2_->activateWindow();
}

}  // namespace torvix
