#include "app/logic/report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <cstdio>
#include <exception>
#include <limits>

#include "app/logic/changes.h"
#include "app/logic/facts.h"
#include "app/logic/form2_content.h"
#include "app/logic/snapshot.h"
#include "app/logic/standard_output.h"
#include "platform/outside_text.h"
#include "platform/slow_wait.h"
#include "windows/logic/form4_report.h"
#include "windows/logic/form5_report.h"
#include "windows/logic/form6_report.h"
#include "windows/logic/form7_report.h"

namespace torvix {

namespace {

QString colourText(Rgb rgb) {
    return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

QStringList textLines(const QString& text) {
    if (text.isEmpty()) return {QString()};
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (t.endsWith(QLatin1Char('\n'))) t.chop(1);
    return t.split(QLatin1Char('\n'));
}

QString oneField(QString s) {
    s.replace(QLatin1Char('\t'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    // Any other control character is shown escaped: no text from outside steers the terminal.
    return escapedForMessage(s, std::numeric_limits<qsizetype>::max());
}

// Form2 as "メモ" opens it: its list filled by Form_Load, then its close button.
std::vector<ReportEntry> form2Report(Form1Logic&, UserInterface&) {
    std::vector<ReportEntry> out;
    ReportEntry list{QStringLiteral("List1"), {}, std::nullopt, true, form2Lines()};
    out.push_back(list);
    out.push_back(
        {QStringLiteral("Command1"), QStringLiteral("表示終了"), std::nullopt, false, {}});
    return out;
}

QMap<QString, ReportWindowFn>& reportWindowTable() {
    static QMap<QString, ReportWindowFn> table = {
        {QStringLiteral("Form1"),
         [](Form1Logic& form1, UserInterface&) {
             return reportEntries(form1.model(), form1ReportOrder());
         }},
        {QStringLiteral("Form2"), &form2Report},
        {QStringLiteral("Form4"),
         [](Form1Logic& form1, UserInterface& ui) {
             return form4Report(form1.model(), form1.machine(), ui);
         }},
        {QStringLiteral("Form5"),
         [](Form1Logic& form1, UserInterface&) { return form5Report(form1.machine()); }},
        {QStringLiteral("Form7"),
         [](Form1Logic& form1, UserInterface& ui) { return form7Report(form1.machine(), ui); }},
        {QStringLiteral("Form6"),
         [](Form1Logic& form1, UserInterface& ui) { return form6Report(form1.machine(), ui); }},
    };
    return table;
}

class ReportProgram : public ProgramControl {
  public:
    void removeCloseBox() override {}
    void endProgram() override {}  // the report ends by itself after printing
};

}  // namespace

QByteArray reportText(const std::vector<ReportEntry>& entries) {
    QString out;
    for (const ReportEntry& e : entries) {
        if (e.isList) {
            for (const QString& item : e.items)
                out += e.name + QLatin1Char('\t') + oneField(item) + QStringLiteral("\t\n");
            continue;
        }
        const QString bg = e.background ? colourText(*e.background) : QString();
        for (const QString& line : textLines(e.text))
            out += e.name + QLatin1Char('\t') + oneField(line) + QLatin1Char('\t') + bg +
                   QLatin1Char('\n');
    }
    return out.toUtf8();
}

// One JSON value as text (QJsonDocument serializes only arrays and objects).
QByteArray jsonValue(const QJsonValue& value) {
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

// Written by hand so each object keeps the documented member order: name, text, background.
QByteArray reportJson(const std::vector<ReportEntry>& entries) {
    QByteArray out = "[\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ReportEntry& e = entries[i];
        const QJsonValue text =
            e.isList ? QJsonValue(QJsonArray::fromStringList(e.items)) : QJsonValue(e.text);
        const QJsonValue background =
            e.background ? QJsonValue(colourText(*e.background)) : QJsonValue(QJsonValue::Null);
        out += "  {\"name\": " + jsonValue(e.name) + ", \"text\": " + jsonValue(text) +
               ", \"background\": " + jsonValue(background) + "}";
        out += i + 1 < entries.size() ? ",\n" : "\n";
    }
    out += "]\n";
    return out;
}

UserInterface::Answer ReportUserInterface::messageBox(const QString& text, const QString&,
                                                      Buttons buttons, Icon) {
    shown << text;
    // Line ends stay as they are; any other control character from outside is escaped.
    QString shownText;
    qsizetype start = 0;
    for (qsizetype k = 0; k <= text.size(); ++k) {
        if (k < text.size() && text[k] != QLatin1Char('\n') && text[k] != QLatin1Char('\r'))
            continue;
        const QStringView part = QStringView(text).mid(start, k - start);
        shownText += escapedForMessage(part, part.size());
        if (k < text.size()) shownText += text[k];
        start = k + 1;
    }
    writeUtf8(stderr, shownText + QLatin1Char('\n'));
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

void registerReportWindow(const QString& name, ReportWindowFn fn) {
    reportWindowTable().insert(name, std::move(fn));
}

QStringList reportWindowNames() {
    return reportWindowTable().keys();
}

int runReport(const CommandLine& commandLine, Machine& machine, QByteArray& out) {
    const WaitBudget::Scope budget(slowSourcesBudgetMs);  // as below, for a given machine
    if (commandLine.mode == CommandLine::Mode::Facts) return runFacts(machine, out);
    const auto window = reportWindowTable().constFind(commandLine.window);
    if (window == reportWindowTable().constEnd()) {
        writeUtf8(stderr, QStringLiteral("torvix: unknown window %1 (known: %2)\n")
                              .arg(quotedForMessage(commandLine.window),
                                   reportWindowNames().join(QStringLiteral(", "))));
        return 2;
    }
    // --compare: the earlier computer is read first, so a bad file prints nothing.
    std::optional<ShownComputer> older;
    if (!commandLine.compareFile.isEmpty()) {
        try {
            older = shownComputerOfFile(commandLine.compareFile);
        } catch (const std::exception& e) {
            writeUtf8(stderr, QStringLiteral("torvix: %1\n").arg(failureMessage(e)));
            return 2;
        }
    }
    ReportUserInterface ui;
    ReportProgram program;
    Form1Logic form1(machine, ui, program);
    form1.runStartupSequence();
    if (older) markChangedBoxes(*older, form1.model());
    for (const QString& button : commandLine.press) {
        form1.click(button);
        if (older) markChangedBoxes(*older, form1.model());
    }
    form1.Timer2_Timer();
    const std::vector<ReportEntry> entries = (*window)(form1, ui);
    out =
        commandLine.format == CommandLine::Format::Json ? reportJson(entries) : reportText(entries);
    return 0;
}

int runReport(const CommandLine& commandLine) {
    return runReport(commandLine, LiveMachineOptions{});
}

int runReport(const CommandLine& commandLine, const LiveMachineOptions& live) {
    keepStandardOutputTaken();
    // One bound for the whole mode: its routines, its window and its lists all wait for the same
    // silent servers, and the print server is read once under it.
    const WaitBudget::Scope budget(slowSourcesBudgetMs);
    if (commandLine.mode == CommandLine::Mode::Snapshot) return runSnapshot(commandLine, live);
    if (commandLine.mode == CommandLine::Mode::Changes) return runChanges(commandLine, live);
    if (!reportWindowTable().contains(commandLine.window)) {
        QByteArray unused;
        Machine none;
        return runReport(commandLine, none, unused);  // reports the unknown window
    }
    Machine machine;
    try {
        machine = machineFor(commandLine, live, false);
    } catch (const MachineFileError& e) {
        QString what = e.message();
        const QString file = escapedForMessage(commandLine.machineFile, messagePathLimit);
        if (!what.startsWith(file)) what = file + QStringLiteral(": ") + what;
        writeUtf8(stderr, QStringLiteral("torvix: ") + what + QLatin1Char('\n'));
        return 2;
    } catch (const std::exception& e) {
        writeUtf8(stderr, QStringLiteral("torvix: ") + QString::fromLocal8Bit(e.what()) +
                              QLatin1Char('\n'));
        return 1;
    }
    QByteArray out;
    const int rc = runReport(commandLine, machine, out);
    if (rc == 0 && !writeStandardOutput(out)) return 1;
    return rc;
}

}  // namespace torvix
