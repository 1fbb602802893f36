#include "app/logic/command_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <memory>

#include "app/logic/form1_logic.h"
#include "app/logic/report.h"
#include "app/logic/standard_output.h"
#include "platform/outside_text.h"

namespace torvix {

namespace {

// Splits "--opt=value" and takes "--opt value" from the next argument.
bool takeValue(const QStringList& args, qsizetype& i, const QString& option, QString& value,
               QString& error) {
    const QString& arg = args.at(i);
    if (arg.startsWith(option + QLatin1Char('='))) {
        value = arg.mid(option.size() + 1);
    } else if (i + 1 < args.size()) {
        value = args.at(++i);
    } else {
        error = QStringLiteral("%1 needs a value").arg(option);
        return false;
    }
    if (value.isEmpty()) {
        error = QStringLiteral("%1 needs a value").arg(option);
        return false;
    }
    // An option whose value was left out would take the next option as its value.
    if (value.startsWith(QLatin1String("--"))) {
        error = QStringLiteral(
                    "%1 needs a value, not the option \"%2\" (a file named so: "
                    "./%2)")
                    .arg(option, value);
        return false;
    }
    return true;
}

// Every option but --press may be given once: a second one is a mistake, not a change of mind.
bool once(QSet<QString>& seen, const QString& option, QString& error) {
    if (seen.contains(option)) {
        error = QStringLiteral("%1 is given more than once").arg(option);
        return false;
    }
    seen.insert(option);
    return true;
}

bool isOption(const QString& arg, const QString& option) {
    return arg == option || arg.startsWith(option + QLatin1Char('='));
}

// The output format after "--report=" or "--changes="; `what` names the option in the message.
bool takeFormat(const QString& format, const QString& what, CommandLine::Format& out,
                QString& error) {
    if (format == QLatin1String("text"))
        out = CommandLine::Format::Text;
    else if (format == QLatin1String("json"))
        out = CommandLine::Format::Json;
    else
        error = QStringLiteral("unknown %1 format %2 (text or json)")
                    .arg(what, quotedForMessage(format));
    return error.isEmpty();
}

CommandLine invalid(const QString& message) {
    CommandLine c;
    c.mode = CommandLine::Mode::Invalid;
    c.error = message;
    return c;
}

}  // namespace

CommandLine parseCommandLine(const QStringList& args) {
    CommandLine c;
    bool report = false, facts = false, help = false, version = false, windowGiven = false;
    bool changes = false, compare = false;
    QSet<QString> seen;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        QString error;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            if (!once(seen, QStringLiteral("--help"), error)) return invalid(error);
            help = true;
        } else if (arg == QLatin1String("--version")) {
            if (!once(seen, QStringLiteral("--version"), error)) return invalid(error);
            version = true;
        } else if (arg == QLatin1String("--report")) {
            if (!once(seen, QStringLiteral("--report"), error)) return invalid(error);
            report = true;
        } else if (arg.startsWith(QLatin1String("--report="))) {
            if (!once(seen, QStringLiteral("--report"), error)) return invalid(error);
            report = true;
            if (!takeFormat(arg.mid(9), QStringLiteral("report"), c.format, error))
                return invalid(error);
        } else if (isOption(arg, QStringLiteral("--changes"))) {
            if (!once(seen, QStringLiteral("--changes"), error)) return invalid(error);
            changes = true;
            if (arg.size() > 9 &&
                !takeFormat(arg.mid(10), QStringLiteral("--changes"), c.format, error))
                return invalid(error);
            // The "=" names the format, so OLD is always the next argument.
            if (i + 1 >= args.size() || args.at(i + 1).isEmpty() ||
                args.at(i + 1).startsWith(QLatin1String("--")))
                return invalid(QStringLiteral("--changes needs the earlier machine file OLD"));
            c.compareFile = args.at(++i);
        } else if (isOption(arg, QStringLiteral("--compare"))) {
            if (!once(seen, QStringLiteral("--compare"), error)) return invalid(error);
            if (!takeValue(args, i, QStringLiteral("--compare"), c.compareFile, error))
                return invalid(error);
            compare = true;
        } else if (arg == QLatin1String("--all")) {
            if (!once(seen, QStringLiteral("--all"), error)) return invalid(error);
            c.all = true;
        } else if (arg == QLatin1String("--facts")) {
            if (!once(seen, QStringLiteral("--facts"), error)) return invalid(error);
            facts = true;
        } else if (isOption(arg, QStringLiteral("--window"))) {
            if (!once(seen, QStringLiteral("--window"), error)) return invalid(error);
            if (!takeValue(args, i, QStringLiteral("--window"), c.window, error))
                return invalid(error);
            windowGiven = true;
        } else if (isOption(arg, QStringLiteral("--press"))) {
            QString button;
            if (!takeValue(args, i, QStringLiteral("--press"), button, error))
                return invalid(error);
            if (!Form1Logic::handles(button))
                return invalid(
                    QStringLiteral(
                        "--press: the main window has no button %1 that works without a window")
                        .arg(quotedForMessage(button)));
            c.press << button;
        } else if (isOption(arg, QStringLiteral("--snapshot"))) {
            if (!once(seen, QStringLiteral("--snapshot"), error)) return invalid(error);
            if (!takeValue(args, i, QStringLiteral("--snapshot"), c.snapshotFile, error))
                return invalid(error);
        } else if (isOption(arg, QStringLiteral("--machine"))) {
            if (!once(seen, QStringLiteral("--machine"), error)) return invalid(error);
            if (!takeValue(args, i, QStringLiteral("--machine"), c.machineFile, error))
                return invalid(error);
        } else if (arg.startsWith(QLatin1Char('-'))) {
            return invalid(QStringLiteral("unknown option %1").arg(quotedForMessage(arg)));
        } else {
            return invalid(QStringLiteral("unexpected argument %1").arg(quotedForMessage(arg)));
        }
    }
    const bool snapshot = !c.snapshotFile.isEmpty();
    if (help) {
        c.mode = CommandLine::Mode::Help;
    } else if (version) {
        c.mode = CommandLine::Mode::Version;
    } else if (int(report) + int(snapshot) + int(facts) + int(changes) > 1) {
        return invalid(
            QStringLiteral("--report, --snapshot, --facts and --changes cannot be used together"));
    } else if ((snapshot || facts || changes) && (windowGiven || !c.press.isEmpty())) {
        return invalid(QStringLiteral("--window and --press are used with --report"));
    } else if (c.all && !changes) {
        return invalid(QStringLiteral("--all is used with --changes"));
    } else if (compare && (changes || snapshot || facts)) {
        return invalid(QStringLiteral("--compare is used alone or with --report"));
    } else if (compare && report && c.window != QLatin1String("Form1")) {
        return invalid(QStringLiteral("--compare marks the main window only (no --window)"));
    } else if (changes) {
        c.mode = CommandLine::Mode::Changes;
    } else if (snapshot) {
        c.mode = CommandLine::Mode::Snapshot;
    } else if (facts) {
        c.mode = CommandLine::Mode::Facts;
    } else if (report) {
        c.mode = CommandLine::Mode::Report;
    } else if (windowGiven) {
        return invalid(QStringLiteral("--window is used with --report"));
    } else if (!c.press.isEmpty()) {
        return invalid(QStringLiteral("--press is used with --report"));
    }
    return c;
}

QString usageText() {
    const QString text = QStringLiteral(
        "使い方 / Usage:\n"
        "  torvix                          このパソコンの情報を表示します\n"
        "                                  open the window for this computer\n"
        "  torvix --machine FILE           FILE に書かれたパソコンの情報を表示します\n"
        "                                  open the window for the computer described by FILE\n"
        "  torvix --report[=text|json] [--window NAME] [--press NAME]... [--machine FILE]\n"
        "                                  "
        "画面を出さずに起動時の処理を行い、画面の内容を出力します\n"
        "                                  run the start-up sequence without a window and print\n"
        "                                  the main window's controls (or those of window NAME:\n"
        "                                  %1)\n"
        "      --press NAME                "
        "出力の前にメイン画面のボタン NAME を押します (繰り返し可、質問には「はい」)\n"
        "                                  press main-window button NAME before printing, as a\n"
        "                                  click would (repeatable, in order; questions are\n"
        "                                  answered Yes, messages go to standard error), e.g.\n"
        "                                  --press Command31 lists the installed software\n"
        "  torvix --snapshot FILE [--machine FILE]\n"
        "                                  "
        "このパソコン (または FILE のパソコン) を --machine で読めるファイルに書きます\n"
        "                                  (\"-\" は標準出力)。ファイルには、ユーザ名・ホスト名・\n"
        "                                  IP/MAC アドレス・プリンター・起動の履歴・インストール\n"
        "                                  されているソフトの一覧などが入ります。送る前にご確認\n"
        "                                  ください\n"
        "                                  write this computer (or the one --machine describes)\n"
        "                                  as a machine file that --machine replays (\"-\":\n"
        "                                  standard output). It holds user and host names, IP\n"
        "                                  and MAC addresses, printers, start and shutdown\n"
        "                                  history, logon counts and the installed software: know\n"
        "                                  what you send\n"
        "  torvix --facts [--machine FILE] "
        "すべての項目を英語のキーで一つの JSON オブジェクトとして出力します\n"
        "                                  print every item as one JSON object with stable\n"
        "                                  English keys (fleet facts, e.g. for Ansible)\n"
        "  torvix --changes[=text|json] OLD [--machine NEW] [--all]\n"
        "                                  "
        "前回のファイル OLD とこのパソコン (または NEW) の違いを出力します\n"
        "                                  print what differs between OLD (an earlier snapshot)\n"
        "                                  and this computer or NEW: items, installed software,\n"
        "                                  printers, MAC addresses, starts and shutdowns since\n"
        "                                  OLD. --all also lists free memory, the disk's use and\n"
        "                                  the clocks. Exit status 0 no change, 1 changes, 2\n"
        "                                  trouble\n"
        "  torvix --compare OLD [--report] [--machine NEW]\n"
        "                                  "
        "OLD と違う値の欄に色を付けて表示します\n"
        "                                  the window (or the report) with the boxes whose text\n"
        "                                  differs from OLD's marked\n"
        "  torvix --help                   この説明 / this text\n"
        "  torvix --version                版 / version\n");
    // The windows that exist, so that the list cannot drift from them.
    return text.arg(reportWindowNames().join(QStringLiteral(", ")));
}

QString versionText() {
    return QStringLiteral("torvix " TORVIX_VERSION);
}

Machine machineFor(const CommandLine& commandLine, const LiveMachineOptions& live,
                   bool clockAdvances) {
    if (!commandLine.machineFile.isEmpty())
        return loadMachineFile(commandLine.machineFile, clockAdvances);
    return makeLiveMachine(live);
}

void writeUtf8(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

void keepStandardOutputTaken() {
    // A descriptor open for reading only makes every write to it fail.
    if (::fcntl(STDOUT_FILENO, F_GETFD) != -1 || errno != EBADF) return;
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && fd != STDOUT_FILENO) {
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
}

bool writeStandardOutput(QByteArrayView bytes) {
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, static_cast<size_t>(bytes.size()), stdout) ==
                             static_cast<size_t>(bytes.size()) &&
                         std::fflush(stdout) == 0;
    if (written) return true;
    const int error = errno;
    writeUtf8(stderr, QStringLiteral("torvix: cannot write to standard output: %1\n")
                          .arg(QString::fromLocal8Bit(std::strerror(error ? error : EIO))));
    return false;
}

int runCommandLine(int argc, char** argv, const WindowStarter& startWindow,
                   const ReportStarter& startReport) {
    QStringList args;
    // Taken as the bytes given: a file name that is not UTF-8 must still open (see
    // loadMachineFile) and is shown escaped.
    for (int i = 1; i < argc; ++i) args << textFromBytes(argv[i]);
    const CommandLine c = parseCommandLine(args);
    // Before anything opens a file that could take a closed standard output's place.
    if (c.mode != CommandLine::Mode::Window) keepStandardOutputTaken();
    switch (c.mode) {
        case CommandLine::Mode::Invalid:
            writeUtf8(stderr, QStringLiteral("torvix: %1\nTry 'torvix --help'.\n").arg(c.error));
            return 2;
        case CommandLine::Mode::Help:
            return writeStandardOutput(usageText().toUtf8()) ? 0 : 1;
        case CommandLine::Mode::Version:
            return writeStandardOutput((versionText() + QLatin1Char('\n')).toUtf8()) ? 0 : 1;
        case CommandLine::Mode::Report:
        case CommandLine::Mode::Snapshot:
        case CommandLine::Mode::Facts:
        case CommandLine::Mode::Changes: {
            if (startReport) return startReport(c);
            int appArgc = argc;
            std::unique_ptr<QCoreApplication> app;
            if (!QCoreApplication::instance())
                app = std::make_unique<QCoreApplication>(appArgc, argv);
            return runReport(c);
        }
        case CommandLine::Mode::Window:
            if (!startWindow) {
                writeUtf8(stderr, QStringLiteral("torvix: this build has no window\n"));
                return 2;
            }
            return startWindow(c);
    }
    return 2;
}

}  // namespace torvix
