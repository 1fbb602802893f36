#include "platform/print_job.h"

#include <cups/cups.h>

#include <QFile>

#include "platform/failure.h"
#include "platform/lazy_library.h"

namespace torvix {

namespace {

void submit(const QByteArray& name, const QByteArray& instance, const QString& path,
            const QString& title, PrintJobResult& result) {
    cups_dest_t* dest = TORVIX_LAZY(Cups, cupsGetNamedDest)(
        CUPS_HTTP_DEFAULT, name.constData(), instance.isEmpty() ? nullptr : instance.constData());
    const QByteArray file = QFile::encodeName(path);
    const QByteArray jobTitle = title.toUtf8();
    result.jobId = TORVIX_LAZY(Cups, cupsPrintFile2)(
        CUPS_HTTP_DEFAULT, name.constData(), file.constData(), jobTitle.constData(),
        dest ? dest->num_options : 0, dest ? dest->options : nullptr);
    if (result.jobId <= 0) {
        result.jobId = 0;
        result.error = QString::fromUtf8(TORVIX_LAZY(Cups, cupsLastErrorString)());
        if (result.error.isEmpty()) result.error = QStringLiteral("the job was not accepted");
    }
    if (dest) TORVIX_LAZY(Cups, cupsFreeDests)(1, dest);
}

}  // namespace

PrintJobResult submitPrintFile(const QString& printer, const QString& path, const QString& title) {
    PrintJobResult result;
    const qsizetype slash = printer.indexOf(u'/');
    const QByteArray name = (slash < 0 ? printer : printer.left(slash)).toUtf8();
    const QByteArray instance = slash < 0 ? QByteArray() : printer.mid(slash + 1).toUtf8();
    if (name.isEmpty()) {
        result.error = QStringLiteral("no printer named");
        return result;
    }
    try {
        submit(name, instance, path, title, result);
    } catch (const Failure& f) {
        result.jobId = 0;
        result.error = f.message();  // libcups cannot be loaded
    }
    return result;
}

}  // namespace torvix
