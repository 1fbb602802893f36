#pragma once

#include <QSize>
#include <QString>

#include "items/user_interface.h"
#include "output/logic/print_layout.h"

class QWidget;

// The print routine: the main window's picture, fitted and scaled, as a one-page document on
// the default printer.
namespace torvix::画面印刷 {

struct PrintOutcome {
    enum class Kind {
        Printed,    // the queue accepted the job
        NoPicture,  // the capture left no picture: nothing printed, nothing said
        NoPrinter,  // no default printer
        TooSmall,   // the chosen size leaves nothing to draw
        NotMade,    // the page could not be drawn
        Refused,    // the queue refused the job
    };
    Kind kind = Kind::NoPicture;
    QString printer;           // the default printer's name
    QString reason;            // why it was not printed
    int jobId = 0;             // the queue's job number when printed
    QSize pictureHimetric;     // the picture in hundredths of a millimetre
    QSize pageTwips;           // the printable area in twips
    PrintPlacement placement;  // where the picture went
};

// The document's title in the print queue.
QString documentTitle();

// Yields, captures `mainWindow` to the clipboard (no leading wait) and prints the picture at
// `printScale` on the default printer. A missing picture ends it silently; any other reason for
// not printing is told through `ui`.
PrintOutcome printWindow(QWidget* mainWindow, float printScale, UserInterface& ui);

}  // namespace torvix::画面印刷
