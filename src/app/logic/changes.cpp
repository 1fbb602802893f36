#include "app/logic/changes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSet>
#include <algorithm>
#include <cstdio>
#include <exception>

#include "app/logic/facts.h"
#include "app/logic/form_layout.h"
#include "app/logic/report.h"
#include "items/network/network_items.h"
#include "items/storage/software_list.h"
#include "platform/outside_text.h"
#include "windows/logic/form4_logic.h"
#include "windows/logic/form5_logic.h"
#include "windows/logic/form7_logic.h"

namespace torvix {

namespace {

const QString placeholder = QStringLiteral("------");
const QString timeForm = QStringLiteral("yyyy/MM/dd HH:mm:ss");

struct Label {
    const char* box;
    const char* key;
    QString caption;  // the label's text before its value
};
const std::vector<Label>& clockLabels() {
    static const std::vector<Label> labels = {
        {"Label3", "os_started", QStringLiteral("Ｗｉｎｄｏｗｓが起動された時刻 ")},
        {"Label2", "uptime", QStringLiteral("Ｗｉｎｄｏｗｓ起動からの経過時間 ")},
        {"Label4", "time_left", QStringLiteral("この表示が終了する迄の残り時間 ")},
        {"Label5", "clock", QStringLiteral("只今の時刻 ")},
    };
    return labels;
}

// Free memory and the disk's use change while nobody touches the computer.
bool boxMoves(const QString& box) {
    return box == QLatin1String("Text20") || box == QLatin1String("Text16") ||
           box == QLatin1String("Text17");
}

QString cause(const std::exception& e) {
    QString c = failureMessage(e);
    c.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return c;
}

void tellFailure(const char* what, const QString& why) {
    writeUtf8(stderr, QStringLiteral("torvix: %1: %2\n").arg(QLatin1String(what), why));
}

QString textOrNull(const std::optional<QString>& text) {
    return text ? *text : QString();
}

// The rows `fill` reads, or the cause (told on standard error) when the reading fails: never a
// part of the list taken for all of it.
template <typename Row, typename Fill>
ReadList<Row> readList(const char* what, Fill fill) {
    ReadList<Row> out;
    std::vector<Row> rows;
    try {
        fill(rows);
        out.rows = std::move(rows);
    } catch (const std::exception& e) {
        out.error = cause(e);
        tellFailure(what, out.error);
    }
    return out;
}

ReadList<SoftwareRow> readSoftware(Form1Logic& form1) {
    return readList<SoftwareRow>("installed software", [&](std::vector<SoftwareRow>& rows) {
        wmi::ObjectSet products = queryViaMoniker(
            form1.context(), QStringLiteral("winmgmts:\\\\.\\root\\cimv2"), items::softwareQuery);
        while (const std::optional<wmi::Instance> product = products.next()) {
            const items::SoftwareEntry e = items::softwareEntry(*product);
            rows.push_back({textOrNull(e.name), textOrNull(e.version)});
        }
    });
}

ReadList<PrinterRow> readPrinters(Form1Logic& form1) {
    return readList<PrinterRow>("printers", [&](std::vector<PrinterRow>& rows) {
        const wmi::Services services = form1.machine().wmi->ConnectServer();
        wmi::ObjectSet set = services.ExecQuery(Form5Logic::query);
        while (const std::optional<wmi::Instance> printer = set.next()) {
            const PrinterEntry e = printerEntry(*printer);
            rows.push_back({textOrNull(e.name), e.isDefault});
        }
    });
}

// The MAC list window's lines, read as it reads them (without writing its file).
ReadList<QString> readMacLines(Form1Logic& form1, QStringList& addresses) {
    auto text = [](const wmi::Value& v) { return v.isNull() ? QString() : v.toText(); };
    return readList<QString>("MAC addresses", [&](std::vector<QString>& rows) {
        const wmi::Services services = form1.machine().wmi->ConnectServer();
        wmi::ObjectSet adapters =
            services.ExecQuery(QStringLiteral("Select * From Win32_NetworkAdapterConfiguration"));
        while (std::optional<wmi::Instance> adapter = adapters.next()) {
            const QString mac = text(adapter->property(QStringLiteral("MACAddress")));
            rows.push_back(
                macListLine(mac, text(adapter->property(QStringLiteral("Description")))));
            if (!mac.isEmpty()) addresses << mac.toUpper();
        }
    });
}

ReadList<BootRow> readBoots(Form1Logic& form1) {
    return readList<BootRow>("start/shutdown history", [&](std::vector<BootRow>& rows) {
        wmi::ObjectSet events =
            queryViaMoniker(form1.context(), Form7Logic::historyMoniker, Form7Logic::historyQuery);
        while (const std::optional<wmi::Instance> event = events.next()) {
            const QDateTime time =
                items::日本時間に変換(event->property(QStringLiteral("TimeWritten")).toText());
            const bool start =
                event->property(QStringLiteral("EventCode")).toInteger() == startEventCode;
            rows.push_back({time, start});
        }
    });
}

QString keyOf(const QString& box, int& index) {
    for (const FactItem& item : factItems()) {
        const qsizetype i = item.boxes.indexOf(box);
        if (i < 0) continue;
        index = item.boxes.size() > 1 ? int(i) + 1 : 0;
        return item.key;
    }
    return box;
}

class NoProgram : public ProgramControl {
  public:
    void removeCloseBox() override {}
    void endProgram() override {}
};

// Local date-times compared as written, free of this computer's daylight-saving rules.
QDateTime asWritten(const QDateTime& t) {
    return QDateTime(t.date(), t.time(), Qt::UTC);
}

// Columns of a fixed-width face: CJK and full-width forms take two.
int width(const QString& s) {
    int w = 0;
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                          (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                          (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                          (u >= 0xFFE0 && u <= 0xFFE6);
        w += c.isLowSurrogate() ? 0 : (wide ? 2 : 1);
    }
    return w;
}

QString padded(const QString& s, int to) {
    return s + QString(std::max(0, to - width(s)), QLatin1Char(' '));
}

QString oneLine(QString s) {
    for (QChar& c : s)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return s;
}

// Rows of three columns, the first two padded to their widest entry.
QString aligned(const std::vector<QStringList>& rows, const QString& indent) {
    int w0 = 0, w1 = 0;
    for (const QStringList& r : rows) {
        w0 = std::max(w0, width(r.value(0)));
        if (r.size() > 2) w1 = std::max(w1, width(r.value(1)));
    }
    QString out;
    for (const QStringList& r : rows) {
        QString line = indent + padded(r.value(0), w0) + QStringLiteral("  ");
        if (r.size() > 2)
            line += padded(r.value(1), w1) + QStringLiteral("  →  ") + r.value(2);
        else
            line += r.value(1);
        while (line.endsWith(QLatin1Char(' '))) line.chop(1);
        out += line + QLatin1Char('\n');
    }
    return out;
}

QString boxCaption(const ShownItem& item) {
    if (item.index == 0) return item.caption;
    return QStringLiteral("%1 (%2)").arg(item.caption).arg(item.index);
}

QString shownOrNone(const QString& text) {
    return text.isEmpty() ? QStringLiteral("(なし)") : text;
}

QString bootEvent(bool start) {
    return start ? QStringLiteral("起動") : QStringLiteral("シャットダウン");
}

QByteArray json(const QJsonValue& value) {
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

// As --facts has it: the design text of an unwritten box, a null property, are null.
QJsonValue itemValue(const QString& text) {
    if (text.isNull() || text == placeholder) return QJsonValue::Null;
    return text;
}

QJsonValue optionalText(const std::optional<QString>& text) {
    return text ? itemValue(*text) : QJsonValue(QJsonValue::Null);
}

// Counts of equal lines: what one list has more of than the other, in its own order.
QStringList extra(const QStringList& in, const QStringList& other) {
    QHash<QString, int> count;
    count.reserve(other.size());
    for (const QString& s : other) ++count[s];
    QStringList out;
    for (const QString& s : in) {
        auto it = count.find(s);
        if (it != count.end() && *it > 0)
            --*it;
        else
            out << s;
    }
    return out;
}

template <typename Row>
bool unreadable(const char* section, const char* key, const ReadList<Row>& older,
                const ReadList<Row>& newer, std::vector<UnreadList>& out) {
    if (older.rows && newer.rows) return false;
    if (!older.rows && !newer.rows && older.error == newer.error) return true;
    UnreadList u{QString::fromUtf8(section), QString::fromLatin1(key), std::nullopt, std::nullopt};
    if (!older.rows) u.oldError = older.error;
    if (!newer.rows) u.newError = newer.error;
    out.push_back(u);
    return true;
}

void compareSoftware(const std::vector<SoftwareRow>& older, const std::vector<SoftwareRow>& newer,
                     std::vector<SoftwareChange>& out) {
    // Name -> row; a name listed more than once (several architectures) is compared as a
    // multiset of versions below. Hashing keeps 100,000 packages a side linear.
    QSet<QString> repeated;
    auto index = [&repeated](const std::vector<SoftwareRow>& rows) {
        QHash<QString, qsizetype> h;
        h.reserve(qsizetype(rows.size()));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (h.contains(rows[i].name))
                repeated.insert(rows[i].name);
            else
                h.insert(rows[i].name, qsizetype(i));
        }
        return h;
    };
    const QHash<QString, qsizetype> was = index(older), is = index(newer);
    for (const SoftwareRow& r : older)
        if (!is.contains(r.name) && !repeated.contains(r.name))
            out.push_back({r.name, r.version, std::nullopt});
    for (const SoftwareRow& r : newer) {
        if (repeated.contains(r.name)) continue;
        const auto old = was.constFind(r.name);
        if (old == was.constEnd())
            out.push_back({r.name, std::nullopt, r.version});
        else if (older[std::size_t(*old)].version != r.version)
            out.push_back({r.name, older[std::size_t(*old)].version, r.version});
    }
    QHash<QString, std::pair<QStringList, QStringList>> versions;
    for (const SoftwareRow& r : older)
        if (repeated.contains(r.name)) versions[r.name].first << r.version;
    for (const SoftwareRow& r : newer)
        if (repeated.contains(r.name)) versions[r.name].second << r.version;
    for (auto it = versions.cbegin(); it != versions.cend(); ++it) {
        for (const QString& v : extra(it->first, it->second))
            out.push_back({it.key(), v, std::nullopt});
        for (const QString& v : extra(it->second, it->first))
            out.push_back({it.key(), std::nullopt, v});
    }
    std::stable_sort(out.begin(), out.end(), [](const SoftwareChange& a, const SoftwareChange& b) {
        return a.name < b.name;
    });
}

QString defaultOf(const std::vector<PrinterRow>& rows) {
    for (const PrinterRow& r : rows)
        if (r.isDefault) return r.name;
    return QString(QLatin1String(""));
}

QStringList names(const std::vector<PrinterRow>& rows) {
    QStringList out;
    for (const PrinterRow& r : rows) out << r.name;
    return out;
}

QStringList lines(const std::vector<QString>& rows) {
    return QStringList(rows.begin(), rows.end());
}

}  // namespace

ShownComputer shownComputer(Form1Logic& form1) {
    ShownComputer s;
    s.now = form1.machine().clock->now();
    const FormModel& model = form1.model();
    QString caption;
    for (const QString& name : form1ReportOrder()) {
        if (name == QLatin1String("Command31")) break;
        if (!model.has(name)) continue;
        if (name.startsWith(QLatin1String("Command"))) {
            caption = model.text(name);
            continue;
        }
        ShownItem item;
        item.box = name;
        item.key = keyOf(name, item.index);
        item.caption = caption;
        item.text = model.text(name);
        item.moves = boxMoves(name);
        s.items.push_back(item);
    }
    for (const Label& l : clockLabels()) {
        const QString box = QLatin1String(l.box);
        if (!model.has(box)) continue;
        QString text = model.text(box);
        if (text.startsWith(l.caption)) text = text.mid(l.caption.size());
        s.items.push_back({box, QLatin1String(l.key), 0, l.caption.trimmed(), text, true});
    }
    s.software = readSoftware(form1);
    s.printers = readPrinters(form1);
    s.macLines = readMacLines(form1, s.macAddresses);
    s.boots = readBoots(form1);
    return s;
}

ShownComputer shownComputer(Machine& machine) {
    ReportUserInterface ui;
    NoProgram program;
    Form1Logic form1(machine, ui, program);
    form1.runStartupSequence();
    form1.Timer2_Timer();
    return shownComputer(form1);
}

bool Changes::any() const {
    return otherComputer || !items.empty() || !software.empty() || !printersAdded.empty() ||
           !printersRemoved.empty() || defaultPrinter || !macAdded.empty() || !macRemoved.empty() ||
           !boots.empty() || !unread.empty();
}

Changes compareComputers(const ShownComputer& older, const ShownComputer& newer, bool all) {
    Changes c;
    c.oldTime = older.now;
    c.newTime = newer.now;

    QHash<QString, QString> was;
    for (const ShownItem& i : older.items) was.insert(i.box, i.text);
    for (const ShownItem& i : newer.items) {
        if (i.box == QLatin1String("Text11")) c.newHost = i.text;
        const auto old = was.constFind(i.box);
        if (old == was.constEnd() || *old == i.text) continue;
        if (i.moves && !all) {
            ++c.leftOut;
            continue;
        }
        c.items.push_back({i, *old});
    }
    c.oldHost = was.value(QStringLiteral("Text11"));
    // A new adapter does not make another computer; no address in common does.
    const QSet<QString> oldMacs(older.macAddresses.begin(), older.macAddresses.end());
    const QSet<QString> newMacs(newer.macAddresses.begin(), newer.macAddresses.end());
    c.otherComputer = c.oldHost != c.newHost ||
                      (!oldMacs.isEmpty() && !newMacs.isEmpty() && !oldMacs.intersects(newMacs));

    if (!unreadable("インストールされているソフト", "installed_software", older.software,
                    newer.software, c.unread))
        compareSoftware(*older.software.rows, *newer.software.rows, c.software);

    if (!unreadable("プリンター", "printers", older.printers, newer.printers, c.unread)) {
        const QStringList was = names(*older.printers.rows), is = names(*newer.printers.rows);
        c.printersAdded = extra(is, was);
        c.printersRemoved = extra(was, is);
        const QString d0 = defaultOf(*older.printers.rows), d1 = defaultOf(*newer.printers.rows);
        if (d0 != d1) c.defaultPrinter = std::make_pair(d0, d1);
    }

    if (!unreadable("MACアドレス", "mac_addresses", older.macLines, newer.macLines, c.unread)) {
        const QStringList was = lines(*older.macLines.rows), is = lines(*newer.macLines.rows);
        c.macAdded = extra(is, was);
        c.macRemoved = extra(was, is);
    }

    // Only the new side's history counts: what happened after the old one was taken.
    if (newer.boots.rows) {
        const QDateTime taken = asWritten(older.now);
        for (const BootRow& b : *newer.boots.rows)
            if (asWritten(b.time) > taken) c.boots.push_back(b);
        std::stable_sort(c.boots.begin(), c.boots.end(),
                         [](const BootRow& a, const BootRow& b) { return a.time < b.time; });
    } else {
        c.unread.push_back({QStringLiteral("起動/停止"), QStringLiteral("boots"), std::nullopt,
                            newer.boots.error});
    }
    return c;
}

QString changesText(const Changes& c) {
    QString out;
    if (c.otherComputer && c.oldHost != c.newHost)
        out += QStringLiteral("別のパソコンの記録と比べています (ホスト名 %1 → %2)\n")
                   .arg(oneLine(c.oldHost), oneLine(c.newHost));
    else if (c.otherComputer)
        out +=
            QStringLiteral("別のパソコンの記録と比べています (共通の MAC アドレスがありません)\n");
    out += QStringLiteral("前回 %1  →  今回 %2\n")
               .arg(c.oldTime.toString(timeForm), c.newTime.toString(timeForm));

    auto unreadLines = [&c](const QString& section, QString& text) {
        for (const UnreadList& u : c.unread) {
            if (u.section != section) continue;
            if (u.oldError)
                text += QStringLiteral("  前回は読めませんでした: ") + oneLine(*u.oldError) + '\n';
            if (u.newError)
                text += QStringLiteral("  今回は読めませんでした: ") + oneLine(*u.newError) + '\n';
        }
    };
    auto section = [&](const QString& heading, const std::vector<QStringList>& rows) {
        QString body = aligned(rows, QStringLiteral("  "));
        unreadLines(heading, body);
        if (!body.isEmpty()) out += heading + QLatin1Char('\n') + body;
    };

    std::vector<QStringList> rows;
    for (const ItemChange& i : c.items)
        rows.push_back({boxCaption(i.item), oneLine(i.oldText), oneLine(i.item.text)});
    out += aligned(rows, QString());

    rows.clear();
    for (const SoftwareChange& s : c.software) {
        if (!s.oldVersion)
            rows.push_back(
                {QStringLiteral("追加"), oneLine(s.name) + ' ' + oneLine(*s.newVersion)});
        else if (!s.newVersion)
            rows.push_back(
                {QStringLiteral("削除"), oneLine(s.name) + ' ' + oneLine(*s.oldVersion)});
        else
            rows.push_back({QStringLiteral("更新"), oneLine(s.name) + ' ' + oneLine(*s.oldVersion),
                            oneLine(*s.newVersion)});
    }
    section(QStringLiteral("インストールされているソフト"), rows);

    rows.clear();
    for (const QString& p : c.printersAdded) rows.push_back({QStringLiteral("追加"), oneLine(p)});
    for (const QString& p : c.printersRemoved) rows.push_back({QStringLiteral("削除"), oneLine(p)});
    if (c.defaultPrinter)
        rows.push_back({QStringLiteral("通常使うプリンター"),
                        shownOrNone(oneLine(c.defaultPrinter->first)),
                        shownOrNone(oneLine(c.defaultPrinter->second))});
    section(QStringLiteral("プリンター"), rows);

    rows.clear();
    for (const QString& m : c.macAdded) rows.push_back({QStringLiteral("追加"), oneLine(m)});
    for (const QString& m : c.macRemoved) rows.push_back({QStringLiteral("削除"), oneLine(m)});
    section(QStringLiteral("MACアドレス"), rows);

    rows.clear();
    for (const BootRow& b : c.boots)
        rows.push_back({bootEvent(b.start), b.time.toString(timeForm)});
    section(QStringLiteral("起動/停止"), rows);

    if (!c.any()) out += QStringLiteral("変更はありません\n");
    if (c.leftOut > 0)
        out += QStringLiteral(
                   "自然に変わる値 %1 件 (空きメモリ・ディスク使用量・時計) は省略しました "
                   "(--all で表示)\n")
                   .arg(c.leftOut);
    return out;
}

QByteArray changesJson(const Changes& c) {
    QByteArray out = "{\n";
    auto member = [&out](const char* key, const QByteArray& value, bool last = false) {
        out += "  \"" + QByteArray(key) + "\": " + value + (last ? "\n" : ",\n");
    };
    auto list = [](const std::vector<QByteArray>& objects) -> QByteArray {
        if (objects.empty()) return "[]";
        QByteArray l = "[\n";
        for (std::size_t i = 0; i < objects.size(); ++i)
            l += "    " + objects[i] + (i + 1 < objects.size() ? ",\n" : "\n");
        return l + "  ]";
    };
    auto texts = [](const QStringList& l) { return json(QJsonArray::fromStringList(l)); };
    member("old_collected", json(isoWithOffset(c.oldTime)));
    member("new_collected", json(isoWithOffset(c.newTime)));
    member("other_computer", c.otherComputer ? "true" : "false");
    std::vector<QByteArray> objects;
    for (const ItemChange& i : c.items) {
        QByteArray o = "{\"key\": " + json(i.item.key);
        if (i.item.index) o += ", \"index\": " + QByteArray::number(i.item.index);
        o += ", \"old\": " + json(itemValue(i.oldText)) +
             ", \"new\": " + json(itemValue(i.item.text)) + "}";
        objects.push_back(o);
    }
    member("items", list(objects));
    member("left_out", QByteArray::number(c.leftOut));
    objects.clear();
    for (const SoftwareChange& s : c.software)
        objects.push_back("{\"name\": " + json(itemValue(s.name)) +
                          ", \"old_version\": " + json(optionalText(s.oldVersion)) +
                          ", \"new_version\": " + json(optionalText(s.newVersion)) + "}");
    member("installed_software", list(objects));
    QByteArray printers = "{\"added\": " + texts(c.printersAdded) +
                          ", \"removed\": " + texts(c.printersRemoved) + ", \"default\": ";
    printers += c.defaultPrinter ? "{\"old\": " + json(c.defaultPrinter->first) +
                                       ", \"new\": " + json(c.defaultPrinter->second) + "}"
                                 : QByteArray("null");
    member("printers", printers + "}");
    member("mac_addresses",
           "{\"added\": " + texts(c.macAdded) + ", \"removed\": " + texts(c.macRemoved) + "}");
    objects.clear();
    for (const BootRow& b : c.boots)
        objects.push_back(
            "{\"time\": " +
            json(b.time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
                 QStringLiteral("+09:00")) +
            ", \"event\": " + json(b.start ? QStringLiteral("start") : QStringLiteral("shutdown")) +
            "}");
    member("boots", list(objects));
    objects.clear();
    for (const UnreadList& u : c.unread)
        objects.push_back("{\"key\": " + json(u.key) +
                          ", \"old_error\": " + json(optionalText(u.oldError)) +
                          ", \"new_error\": " + json(optionalText(u.newError)) + "}");
    member("unreadable", list(objects), true);
    return out + "}\n";
}

QHash<QString, QString> changedBoxes(const ShownComputer& older, const FormModel& newer) {
    QHash<QString, QString> out;
    for (const ShownItem& i : older.items) {
        if (i.moves || !i.box.startsWith(QLatin1String("Text")) || !newer.has(i.box)) continue;
        if (newer.text(i.box) != i.text) out.insert(i.box, i.text);
    }
    return out;
}

void markChangedBoxes(const ShownComputer& older, FormModel& model) {
    const QString prefix = QStringLiteral("前回 (%1): ").arg(older.now.toString(timeForm));
    const QHash<QString, QString> changed = changedBoxes(older, model);
    for (auto it = changed.begin(); it != changed.end(); ++it) {
        model.setBackground(it.key(), changedBackground);
        QString tip = prefix + it.value();
        // A failure's cause stays readable below the old text.
        const QString had = model.toolTip(it.key());
        if (!had.isEmpty() && !had.startsWith(QStringLiteral("前回 (")))
            tip += QLatin1Char('\n') + had;
        model.setToolTip(it.key(), tip);
    }
}

ShownComputer shownComputerOfFile(const QString& path) {
    Machine old = loadMachineFile(path, false);
    return shownComputer(old);
}

int runChanges(const CommandLine& commandLine, const LiveMachineOptions& live) {
    auto trouble = [](const QString& what) {
        writeUtf8(stderr, QStringLiteral("torvix: ") + oneLine(what) + QLatin1Char('\n'));
        return 2;
    };
    // Both sides are read before anything is printed: never half a comparison.
    try {
        const ShownComputer older = shownComputerOfFile(commandLine.compareFile);
        Machine machine = machineFor(commandLine, live, false);
        const ShownComputer newer = shownComputer(machine);
        const Changes c = compareComputers(older, newer, commandLine.all);
        const QByteArray out = commandLine.format == CommandLine::Format::Json
                                   ? changesJson(c)
                                   : changesText(c).toUtf8();
        std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
        std::fflush(stdout);
        return c.any() ? 1 : 0;
    } catch (const std::exception& e) {
        return trouble(cause(e));
    }
}

}  // namespace torvix
