#include "platform/print_job.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "support/private_cupsd.h"

using namespace torvix;

// A job handed to a private scheduler: taken by an accepting queue, refused with the
// scheduler's reason by one that rejects jobs or does not exist.
TEST(PrintJob, SchedulerTakesOrRefusesTheFile) {
    test::PrivateCupsd cupsd;
    if (!cupsd.start()) GTEST_SKIP() << "no private cupsd: " << cupsd.why().toStdString();
    cupsSetServer(nullptr);  // libcups keeps the first server it used: read CUPS_SERVER again
    ASSERT_TRUE(cupsd.addQueue(QStringLiteral("taking"), QStringLiteral("file:///dev/null")));
    ASSERT_TRUE(cupsd.addQueue(QStringLiteral("refusing"), QStringLiteral("file:///dev/null")));
    int rc = -1;
    cupsd.client(QStringLiteral("cupsreject"), {QStringLiteral("refusing")}, &rc);
    ASSERT_EQ(rc, 0);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("page.pdf"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.4\n%%EOF\n");
    }

    struct Row {
        const char* printer;
        bool accepted;
        const char* reason;  // part of the scheduler's answer when refused
    };
    const Row rows[] = {
        {"taking", true, ""},
        {"taking/draft", true, ""},  // an instance prints on its queue
        {"refusing", false, "not accepting"},
        {"missing", false, ""},
        {"", false, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.printer);
        const PrintJobResult job =
            submitPrintFile(QString::fromUtf8(r.printer), file, QStringLiteral("トルビクス"));
        EXPECT_EQ(job.accepted(), r.accepted);
        if (r.accepted) {
            EXPECT_GT(job.jobId, 0);
            EXPECT_TRUE(job.error.isEmpty());
        } else {
            EXPECT_EQ(job.jobId, 0);
            EXPECT_FALSE(job.error.isEmpty());
            EXPECT_TRUE(job.error.contains(QString::fromUtf8(r.reason))) << job.error.toStdString();
        }
    }
    cupsd.stop();
    cupsSetServer(nullptr);
}
