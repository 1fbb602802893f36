#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include "app/logic/form_layout.h"
#include "support/test_support.h"

using namespace torvix;

namespace {

// A private X server with a window manager, and the program on it, for clicks and keys as a
// user gives them. Everything started here is ended by the destructor.
class XSession {
  public:
    ~XSession() {
        for (auto it = processes_.rbegin(); it != processes_.rend(); ++it) {
            QProcess* p = it->get();
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            if (!p->waitForFinished(3000)) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
    }

    bool startServer(QString& why) {
        auto* x = add(QStringLiteral("Xvfb"),
                      {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains('\n') && t.elapsed() < 15000) {
            x->waitForReadyRead(500);
            out += x->readAllStandardOutput();
            if (x->state() == QProcess::NotRunning) break;
        }
        bool ok = false;
        const int n = out.trimmed().toInt(&ok);
        if (!ok) {
            why = "Xvfb gave no display: " + QString::fromLocal8Bit(x->readAllStandardError());
            return false;
        }
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("DISPLAY", QStringLiteral(":%1").arg(n));
        env_.insert("QT_QPA_PLATFORM", "xcb");
        env_.insert("LC_ALL", "C.UTF-8");
        return true;
    }

    void setHome(const QString& home) { env_.insert("HOME", home); }

    QProcess* add(const QString& program, const QStringList& arguments,
                  const QString& workDir = {}) {
        auto p = std::make_unique<QProcess>();
        if (!env_.isEmpty()) p->setProcessEnvironment(env_);
        if (!workDir.isEmpty()) p->setWorkingDirectory(workDir);
        p->start(program, arguments);
        p->waitForStarted(5000);
        processes_.push_back(std::move(p));
        return processes_.back().get();
    }

    // Runs a client tool to its end and returns its standard output.
    QByteArray run(const QString& program, const QStringList& arguments, int* exitCode = nullptr) {
        QProcess p;
        p.setProcessEnvironment(env_);
        p.start(program, arguments);
        if (!p.waitForFinished(10000)) {
            p.kill();
            p.waitForFinished(2000);
        }
        if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return p.readAllStandardOutput();
    }

    // The visible window whose title matches `pattern`, waited for up to `ms`.
    QString waitForWindow(const QString& pattern, int ms = 15000) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            const QByteArray ids =
                run("xdotool", {"search", "--onlyvisible", "--name", pattern}).trimmed();
            if (!ids.isEmpty()) return QString::fromLatin1(ids.split('\n').last());
            QThread::msleep(100);
        }
        return {};
    }

    bool waitGone(const QString& pattern, int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (run("xdotool", {"search", "--onlyvisible", "--name", pattern}).trimmed().isEmpty())
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    // Presses Return in the message box titled `pattern` (its default button: Yes or OK).
    bool answer(const QString& pattern) {
        const QString box = waitForWindow(pattern);
        if (box.isEmpty()) return false;
        run("xdotool", {"windowactivate", "--sync", box});
        run("xdotool", {"key", "--clearmodifiers", "Return"});
        return waitGone(pattern);
    }

  private:
    QProcessEnvironment env_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

// The centre of a main-window button in client pixels.
QPoint buttonCentre(const QString& name) {
    for (const ControlSpec& c : form1Spec().controls)
        if (c.name == name)
            return QPoint((c.left + c.width / 2) / twipsPerPixel,
                          (c.top + c.height / 2) / twipsPerPixel);
    return {};
}

QSize bitmapSize(const QByteArray& bmp) {
    if (bmp.size() < 26) return {};
    const auto w = qFromLittleEndian<qint32>(bmp.constData() + 18);
    const auto h = qFromLittleEndian<qint32>(bmp.constData() + 22);
    return QSize(w, h < 0 ? -h : h);
}

}  // namespace

// The real program on a private X server: the save button writes a bitmap of the main window on
// the desktop the machine file names, the copy button leaves the same picture on the clipboard,
// both through the questions a user answers with Return.
TEST(ScreenOutputX11, SaveAndCopyUnderXvfb) {
    for (const char* tool : {"Xvfb", "xdotool", "xclip"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString desktop = dir.path() + "/デスクトップ";
    ASSERT_TRUE(QDir().mkpath(desktop));
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/home"));
    QFile office(test::dataPath("machines/office_pc.json"));
    ASSERT_TRUE(office.open(QIODevice::ReadOnly));
    QByteArray json = office.readAll();
    ASSERT_TRUE(json.contains("\"/home/user1/Desktop\""));
    json.replace("\"/home/user1/Desktop\"", "\"" + desktop.toUtf8() + "\"");
    const QString machineFile = dir.path() + "/machine.json";
    {
        QFile out(machineFile);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(json);
    }

    XSession x;
    QString why;
    ASSERT_TRUE(x.startServer(why)) << why.toStdString();
    x.setHome(dir.path() + "/home");
    if (!QStandardPaths::findExecutable("fluxbox").isEmpty()) {
        x.add("fluxbox", {});
        QThread::msleep(500);
    }
    QProcess* program = x.add(TORVIX_BINARY, {"--machine", machineFile}, dir.path());
    ASSERT_EQ(program->state(), QProcess::Running);

    const QString main = x.waitForWindow("^トルビクス$");
    ASSERT_FALSE(main.isEmpty()) << program->readAllStandardError().toStdString();
    QThread::msleep(1500);  // the start-up sequence
    const QByteArray geometry = x.run("xdotool", {"getwindowgeometry", main});
    const QRegularExpressionMatch m =
        QRegularExpression("Geometry: (\\d+)x(\\d+)").match(QString::fromLatin1(geometry));
    ASSERT_TRUE(m.hasMatch()) << geometry.toStdString();
    const QSize windowSize(m.captured(1).toInt(), m.captured(2).toInt());

    const auto click = [&](const QString& button) {
        const QPoint p = buttonCentre(button);
        x.run("xdotool", {"mousemove", "--window", main, QString::number(p.x()),
                          QString::number(p.y()), "click", "1"});
    };

    // Save: the question, the capture, the closing message.
    click("Command38");
    ASSERT_TRUE(x.answer("^画面の保管$"));
    ASSERT_TRUE(x.answer("^保存$"));
    QFile saved(desktop + "/torvix.jpg");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bmp = saved.readAll();
    EXPECT_TRUE(bmp.startsWith("BM"));
    EXPECT_EQ(bitmapSize(bmp), windowSize);

    // Copy: the question, the capture, the closing message; the clipboard offers the picture.
    click("Command41");
    ASSERT_TRUE(x.answer("^画面のコピー$"));
    ASSERT_TRUE(x.answer("^コピー$"));
    int rc = -1;
    const QByteArray png =
        x.run("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"}, &rc);
    EXPECT_EQ(rc, 0);
    QImage picture;
    ASSERT_TRUE(picture.loadFromData(png, "PNG")) << png.left(200).toStdString();
    EXPECT_EQ(picture.size(), windowSize);
    EXPECT_EQ(program->state(), QProcess::Running);

    // "停止" with no clipboard manager: a tool serves the picture on until another program copies.
    click("Command16");
    ASSERT_TRUE(program->waitForFinished(15000));
    EXPECT_TRUE(
        x.run("xclip", {"-selection", "clipboard", "-t", "TARGETS", "-o"}).contains("image/png"));
    ASSERT_TRUE(picture.loadFromData(
        x.run("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"}), "PNG"));
    EXPECT_EQ(picture.size(), windowSize);
    const QString display = "DISPLAY=" + program->processEnvironment().value("DISPLAY");
    const auto xclips = [&] {  // of this server; a zombie shows no environment
        return x.run("sh", {"-c", "ps eww -C xclip -o args= | grep -cw " + display})
            .trimmed()
            .toInt();
    };
    ASSERT_EQ(xclips(), 1);
    QProcess* other = x.add("xclip", {"-selection", "clipboard", "-quiet"});
    other->write("x");
    other->waitForBytesWritten(5000);
    other->closeWriteChannel();
    for (int i = 0; i < 100 && xclips() > 1; ++i) QThread::msleep(100);
    EXPECT_EQ(xclips(), 1);  // the other program's alone
}
