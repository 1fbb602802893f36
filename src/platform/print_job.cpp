#include "platform/print_job.h"

#include <cups/cups.h>

#include <QFile>

namespace torvix {

PrintJobResult submitPrintFile(const QString& printer, const QString& path, const QString& title) {
    PrintJobResult result;
    const qsizetype slash = printer.indexOf(u'/');
    const QByteArray name = (slash < 0 ? printer : printer.left(slash)).toUtf8();
    const QByteArray instance = slash < 0 ? QByteArray() : printer.mid(slash + 1).toUtf8();
    if (name.isEmpty()) {
        result.error = QStringLiteral("no printer named");
        return result;
    }
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(),
                                         instance.isEmpty() ? nullptr : instance.constData());
    const QByteArray file = QFile::encodeName(path);
    const QByteArray jobTitle = title.toUtf8();
    result.jobId =
        cupsPrintFile2(CUPS_HTTP_DEFAULT, name.constData(), file.constData(), jobTitle.constData(),
                       dest ? dest->num_options : 0, dest ? dest->options : nullptr);
    if (result.jobId <= 0) {
        result.jobId = 0;
        result.error = QString::fromUtf8(cupsLastErrorString());
        if (result.error.isEmpty()) result.error = QStringLiteral("the job was not accepted");
    }
    if (dest) cupsFreeDests(1, dest);
    return result;
}

}  // namespace torvix
