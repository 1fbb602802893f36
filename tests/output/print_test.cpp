#include <cups/cups.h>
#include <unistd.h>

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <functional>

#include "output/main_window_fixture.h"
#include "output/print_routine.h"
#include "support/private_cupsd.h"

using namespace torvix;
using torvix::test::MessageBoxAnswerer;
using torvix::test::waitFor;

namespace {

// Message boxes of the print routine, recorded.
class RecordingUi : public UserInterface {
  public:
    Answer messageBox(const QString& text, const QString& title, Buttons, Icon) override {
        shown << text;
        titles << title;
        return Answer::Ok;
    }
    QStringList shown, titles;
};

// A private scheduler for each test; libcups is told to read CUPS_SERVER again, as it keeps the
// first server it was pointed at.
class PrintTest : public test::MainWindowTest {
  protected:
    void SetUp() override {
        if (!cupsd.start()) GTEST_SKIP() << "no private cupsd: " << cupsd.why().toStdString();
        cupsSetServer(nullptr);
        test::MainWindowTest::SetUp();
    }
    void TearDown() override {
        test::MainWindowTest::TearDown();
        cupsd.stop();
        cupsSetServer(nullptr);
        for (const QString& conf : pdfConfs) QFile::remove(conf);
    }

    // A cups-pdf queue of this test's own, writing into `outDir`, made the default. `model`:
    // lpadmin's -m or -P with its argument.
    bool addPdfQueue(const QString& outDir,
                     const QStringList& model = {
                         QStringLiteral("-m"),
                         QStringLiteral("lsb/usr/cups-pdf/CUPS-PDF_opt.ppd")}) {
        static int serial = 0;
        const QString name = QStringLiteral("torvix-print-%1-%2").arg(::getpid()).arg(++serial);
        pdfConfs << QStringLiteral("/etc/cups/cups-pdf-%1.conf").arg(name);
        QFile conf(pdfConfs.last());
        if (!conf.open(QIODevice::WriteOnly)) return false;
        conf.write(QStringLiteral("Out %1\nAnonDirName %1\nSpool %2\n")
                       .arg(outDir, cupsd.folder() + QStringLiteral("/cups-pdf-spool"))
                       .toUtf8());
        conf.close();
        return cupsd.addQueue(name, QStringLiteral("cups-pdf:/") + name, model) &&
               cupsd.setDefault(name);
    }

    test::PrivateCupsd cupsd;
    QStringList pdfConfs;
};

QString firstPdf(const QString& dir) {
    QDirIterator it(dir, {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
    return it.hasNext() ? it.next() : QString();
}

QString run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The box of every pixel that is not (nearly) white.
QRect inkBox(const QImage& page) {
    int left = page.width(), top = page.height(), right = -1, bottom = -1;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb c = page.pixel(x, y);
            if (qRed(c) < 245 || qGreen(c) < 245 || qBlue(c) < 245) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace

// "印刷" with "小(50%)" on cups-pdf queues: one page whose picture starts 1 cm from the top-left
// of the printable area and has the size fitted to that area. The stock queue can print the
// whole sheet; the other describes unprintable edges of its own.
TEST_F(PrintTest, PrintsTheWindowOnTheDefaultPrinter) {
    QFile stock(QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"));
    if (!stock.open(QIODevice::ReadOnly)) GTEST_SKIP() << "printer-driver-cups-pdf is missing";
    QByteArray edged = stock.readAll();
    edged.replace("*ImageableArea A4/A4: \"0 0 595 842\"",
                  "*ImageableArea A4/A4: \"18 36 577 806\"");
    const QString edgedPpd = cupsd.folder() + QStringLiteral("/edged.ppd");
    {
        QFile f(edgedPpd);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(edged);
    }
    struct Row {
        const char* what;
        QStringList model;
        int marginLeft, marginTop, marginRight, marginBottom;  // points
    };
    const Row rows[] = {
        {"whole sheet", {"-m", "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"}, 0, 0, 0, 0},
        {"edges", {"-P", edgedPpd}, 18, 36, 18, 36},
    };
    constexpr int dpi = 144;  // one pixel is 10 twips
    const auto px = [](double twips) { return twips * dpi / 1440.0; };
    const QSize picture = 画面キャプチャ::sizeInHimetric(form->grab().toImage(), form.get());

    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        QTemporaryDir out;
        ASSERT_TRUE(out.isValid());
        QFile::setPermissions(out.path(), QFile::Permissions(0x7777));
        ASSERT_TRUE(addPdfQueue(out.path(), r.model));

        Form3* dialog = pressPrintButton();
        ASSERT_TRUE(dialog);
        QTest::mouseClick(dialog->Option(3), Qt::LeftButton);
        MessageBoxAnswerer answerer("OK");
        QTest::mouseClick(dialog->Command1(), Qt::LeftButton);
        EXPECT_EQ(form->logic().shared().PrintScale, 0.5f);
        EXPECT_EQ(answerer.answered(), 0) << answerer.text.toStdString();

        QString pdf;
        QElapsedTimer waited;
        waited.start();
        while ((pdf = firstPdf(out.path())).isEmpty() && waited.elapsed() < 30000)
            QTest::qWait(200);
        ASSERT_FALSE(pdf.isEmpty())
            << "no PDF within 30 s; cupsd log in " << cupsd.folder().toStdString();
        QTest::qWait(500);  // let cups-pdf finish writing

        const QString info = run(QStringLiteral("pdfinfo"), {pdf});
        EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))))
            << info.toStdString();
        const QRegularExpressionMatch size =
            QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts"))
                .match(info);
        ASSERT_TRUE(size.hasMatch()) << info.toStdString();
        // The printable area in twips (20 a point).
        const int areaW = qRound((size.captured(1).toDouble() - r.marginLeft - r.marginRight) * 20);
        const int areaH = qRound((size.captured(2).toDouble() - r.marginTop - r.marginBottom) * 20);
        const PrintPlacement expected =
            printPlacement(picture.width(), picture.height(), areaW, areaH, 0.5f);
        ASSERT_GT(expected.width, 0);

        const QString png = out.filePath(QStringLiteral("page"));
        run(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"),
             QStringLiteral("-singlefile"), pdf, png});
        const QImage page(png + QStringLiteral(".png"));
        ASSERT_FALSE(page.isNull());
        const QRect box = inkBox(page);
        ASSERT_FALSE(box.isNull()) << "the page is blank";
        EXPECT_NEAR(box.left(), px(r.marginLeft * 20 + 567), 2.0);
        EXPECT_NEAR(box.top(), px(r.marginTop * 20 + 567), 2.0);
        EXPECT_NEAR(box.width(), px(expected.width), 2.0);
        EXPECT_NEAR(box.height(), px(expected.height), 2.0);
    }
}

// Nothing printed, and the user told why: no queue at all, queues but none the default, a
// default queue that refuses jobs. Each row builds on the one before.
TEST_F(PrintTest, TellsWhyNothingWasPrinted) {
    using Kind = 画面印刷::PrintOutcome::Kind;
    struct Row {
        const char* what;
        std::function<bool()> setUp;
        Kind kind;
        QString message;  // how the message begins
    };
    const Row rows[] = {
        {"no queue", [] { return true; }, Kind::NoPrinter, noDefaultPrinterMessage().text},
        {"no default", [this] { return cupsd.addQueue("plain", "file:///dev/null"); },
         Kind::NoPrinter, noDefaultPrinterMessage().text},
        {"default refuses jobs",
         [this] {
             int rc = -1;
             cupsd.client("cupsreject", {"plain"}, &rc);
             return rc == 0 && cupsd.setDefault("plain");
         },
         Kind::Refused,
         "プリンター「plain」が印刷を受け付けなかったため、印刷できませんでした。\r\n"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(r.setUp());
        RecordingUi ui;
        const 画面印刷::PrintOutcome outcome = 画面印刷::printWindow(form.get(), 0.5f, ui);
        EXPECT_EQ(outcome.kind, r.kind);
        EXPECT_EQ(outcome.jobId, 0);
        ASSERT_EQ(ui.shown.size(), 1);
        EXPECT_TRUE(ui.shown[0].startsWith(r.message)) << ui.shown[0].toStdString();
        if (r.kind == Kind::Refused) {
            EXPECT_GT(ui.shown[0].size(), r.message.size());  // the scheduler's reason follows
        }
        EXPECT_EQ(ui.titles, QStringList{"印刷"});

        // The same through the dialog: the user sees it in a message box.
        Form3* dialog = pressPrintButton();
        ASSERT_TRUE(dialog);
        MessageBoxAnswerer answerer("OK");
        QTest::mouseClick(dialog->Command1(), Qt::LeftButton);
        EXPECT_EQ(answerer.answered(), 1);
        EXPECT_EQ(answerer.text, ui.shown[0]);
        EXPECT_EQ(answerer.title, "印刷");
        EXPECT_TRUE(cupsd.client("lpstat", {"-W", "all", "-o"}).trimmed().isEmpty());
    }
}

// The picture went missing before the print (the main window is gone): nothing printed, nothing
// said, as the capture has nothing to give.
TEST_F(PrintTest, NoPictureEndsQuietly) {
    QTemporaryDir out;
    ASSERT_TRUE(addPdfQueue(out.path()));
    RecordingUi ui;
    const 画面印刷::PrintOutcome outcome = 画面印刷::printWindow(nullptr, 0.5f, ui);
    EXPECT_EQ(outcome.kind, 画面印刷::PrintOutcome::Kind::NoPicture);
    EXPECT_TRUE(ui.shown.isEmpty());
    EXPECT_TRUE(cupsd.client("lpstat", {"-W", "all", "-o"}).trimmed().isEmpty());
}
