#include "output/print_routine.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QWidget>

#include "output/window_capture.h"
#include "platform/print_job.h"

namespace torvix::画面印刷 {

namespace {

// Device units of the page as drawn: one twip each, so positions and sizes go in unconverted.
constexpr int twipsPerInch = 1440;

void tell(UserInterface& ui, const PrintFailureMessage& message) {
    ui.messageBox(message.text, message.title, UserInterface::Buttons::Ok,
                  UserInterface::Icon::Exclamation);
}

}  // namespace

QString documentTitle() {
    return QStringLiteral("トルビクス");
}

PrintOutcome printWindow(QWidget* mainWindow, float printScale, UserInterface& ui) {
    using Kind = PrintOutcome::Kind;
    PrintOutcome out;
    QPointer<QWidget> window(mainWindow);
    QCoreApplication::processEvents();
    画面キャプチャ::captureToClipboard(window, false);
    const std::optional<QImage> picture = 画面キャプチャ::clipboardPicture();
    if (!picture) return out;
    out.pictureHimetric = 画面キャプチャ::sizeInHimetric(*picture, window);

    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull() || info.printerName().isEmpty()) {
        out.kind = Kind::NoPrinter;
        tell(ui, noDefaultPrinterMessage());
        return out;
    }
    out.printer = info.printerName();

    // The page as the printer defines it (size, orientation, unprintable margins), drawn into a
    // PDF file that the queue then takes as one job: unlike a direct print, this tells whether
    // the queue accepted it.
    QPageLayout layout;
    {
        QPrinter printer(info, QPrinter::HighResolution);
        layout = printer.pageLayout();
    }
    // Qt starts every page with margins of its own (10 pt); the printable area is what the
    // printer itself can reach.
    layout.setMargins(layout.minimumMargins());
    QTemporaryDir folder;
    if (!folder.isValid()) {
        out.kind = Kind::NotMade;
        out.reason = folder.errorString();
        tell(ui, printNotMadeMessage(out.reason));
        return out;
    }
    const QString path = folder.filePath(QStringLiteral("page.pdf"));
    {
        QPdfWriter writer(path);
        writer.setResolution(twipsPerInch);
        writer.setPageLayout(layout);
        writer.setTitle(documentTitle());
        writer.setCreator(documentTitle());
        out.pageTwips = QSize(writer.width(), writer.height());
        out.placement = printPlacement(out.pictureHimetric.width(), out.pictureHimetric.height(),
                                       out.pageTwips.width(), out.pageTwips.height(), printScale);
        if (out.placement.width <= 0 || out.placement.height <= 0) {
            out.kind = Kind::TooSmall;
            tell(ui, pictureTooSmallMessage());
            return out;
        }
        QPainter painter;
        if (!painter.begin(&writer)) {
            out.kind = Kind::NotMade;
            out.reason = QStringLiteral("the page could not be drawn");
            tell(ui, printNotMadeMessage(out.reason));
            return out;
        }
        // Window text stays sharp: no lossy compression of the picture.
        painter.setRenderHint(QPainter::LosslessImageRendering);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(
            QRect(out.placement.left, out.placement.top, out.placement.width, out.placement.height),
            *picture);
        if (!painter.end()) {
            out.kind = Kind::NotMade;
            out.reason = QStringLiteral("the page could not be written");
            tell(ui, printNotMadeMessage(out.reason));
            return out;
        }
    }
    const PrintJobResult job = submitPrintFile(out.printer, path, documentTitle());
    if (!job.accepted()) {
        out.kind = Kind::Refused;
        out.reason = job.error;
        tell(ui, printRefusedMessage(out.printer, out.reason));
        return out;
    }
    out.kind = Kind::Printed;
    out.jobId = job.jobId;
    return out;
}

}  // namespace torvix::画面印刷
