#include "app/logic/facts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <cstdio>
#include <exception>
#include <optional>

#include "app/logic/report.h"
#include "items/network/network_items.h"
#include "items/storage/software_list.h"
#include "windows/logic/form5_logic.h"
#include "windows/logic/form7_logic.h"

namespace torvix {

namespace {

const QString placeholder = QStringLiteral("------");
constexpr int bootCount = 10;

// One JSON value as text, escaped as JSON wants (QJsonDocument writes only arrays and objects).
QByteArray json(const QJsonValue& value) {
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

QJsonValue orNull(const std::optional<QString>& text) {
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonValue boxValue(const FormModel& model, const QString& box, const QString& prefix) {
    if (!model.has(box)) return QJsonValue::Null;
    const QString text = model.text(box);
    if (!prefix.isEmpty()) {
        if (!text.startsWith(prefix)) return QJsonValue::Null;
        return text.mid(prefix.size());
    }
    if (text == placeholder) return QJsonValue::Null;
    return text;
}

// A list that could not be read is null (unknown), not empty; the cause goes to standard error.
void failed(const char* what, const std::exception& e) {
    QString cause = failureMessage(e);
    cause.replace(QLatin1Char('\n'), QLatin1Char(' '));
    writeUtf8(stderr, QStringLiteral("torvix: --facts: %1: %2\n").arg(QLatin1String(what), cause));
}

// Objects in a list, one a line, members in the order given.
using Members = std::vector<std::pair<const char*, QJsonValue>>;
QByteArray objectList(const std::optional<std::vector<Members>>& list) {
    if (!list) return "null";
    if (list->empty()) return "[]";
    QByteArray out = "[\n";
    for (std::size_t i = 0; i < list->size(); ++i) {
        out += "    {";
        const Members& members = (*list)[i];
        for (std::size_t m = 0; m < members.size(); ++m) {
            if (m) out += ", ";
            out += json(QString::fromLatin1(members[m].first)) + ": " + json(members[m].second);
        }
        out += i + 1 < list->size() ? "},\n" : "}\n";
    }
    out += "  ]";
    return out;
}

std::optional<std::vector<Members>> installedSoftware(Form1Logic& form1) {
    std::vector<Members> out;
    try {
        RoutineContext& ctx = form1.context();
        wmi::ObjectSet products = queryViaMoniker(
            ctx, QStringLiteral("winmgmts:\\\\.\\root\\cimv2"), items::softwareQuery);
        while (const std::optional<wmi::Instance> product = products.next()) {
            const items::SoftwareEntry e = items::softwareEntry(*product);
            out.push_back({{"name", orNull(e.name)}, {"version", orNull(e.version)}});
        }
    } catch (const std::exception& e) {
        failed("installed_software", e);
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<Members>> printers(Form1Logic& form1) {
    std::vector<Members> out;
    try {
        const wmi::Services services = form1.machine().wmi->ConnectServer();
        wmi::ObjectSet set = services.ExecQuery(Form5Logic::query);
        while (const std::optional<wmi::Instance> printer = set.next()) {
            const PrinterEntry e = printerEntry(*printer);
            out.push_back(
                {{"name", orNull(e.name)}, {"default", e.isDefault}, {"port", orNull(e.port)}});
        }
    } catch (const std::exception& e) {
        failed("printers", e);
        return std::nullopt;
    }
    return out;
}

// The newest starts and shutdowns, read as the history window reads them, at the times it
// shows (Japan time).
std::optional<std::vector<Members>> boots(Form1Logic& form1) {
    std::vector<Members> out;
    try {
        RoutineContext& ctx = form1.context();
        wmi::ObjectSet events =
            queryViaMoniker(ctx, Form7Logic::historyMoniker, Form7Logic::historyQuery);
        while (out.size() < bootCount) {
            const std::optional<wmi::Instance> event = events.next();
            if (!event) break;
            const QDateTime time =
                items::日本時間に変換(event->property(QStringLiteral("TimeWritten")).toText());
            const bool start =
                event->property(QStringLiteral("EventCode")).toInteger() == startEventCode;
            out.push_back(
                {{"time",
                  time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QStringLiteral("+09:00")},
                 {"event", start ? QStringLiteral("start") : QStringLiteral("shutdown")}});
        }
    } catch (const std::exception& e) {
        failed("boots", e);
        return std::nullopt;
    }
    return out;
}

}  // namespace

const std::vector<FactItem>& factItems() {
    static const std::vector<FactItem> items = {
        {"cpu_clock", {"Text1"}, {}},
        {"cpu_type", {"Text2"}, {}},
        {"cores", {"Text3"}, {}},
        {"memory_size", {"Text14"}, {}},
        {"free_memory", {"Text20"}, {}},
        {"access_level", {"Text33"}, {}},
        {"password_changed", {"Text32"}, {}},
        {"connection", {"Text9"}, {}},
        {"user", {"Text10"}, {}},
        {"host", {"Text11"}, {}},
        {"ip_address", {"Text12"}, {}},
        {"subnet_mask", {"Text13"}, {}},
        {"gateway", {"Text23"}, {}},
        {"dns", {"Text24", "Text25", "Text21"}, {}},
        {"wins_primary", {"Text26"}, {}},
        {"wins_secondary", {"Text27"}, {}},
        {"dhcp_server", {"Text28"}, {}},
        {"ip_acquired", {"Text4"}, {}},
        {"logon_count", {"Text29"}, {}},
        {"os", {"Text5"}, {}},
        {"service_pack", {"Text22"}, {}},
        {"mac_address", {"Text6"}, {}},
        {"pointing_device", {"Text7"}, {}},
        {"display", {"Text8"}, {}},
        {"disk_total", {"Text15"}, {}},
        {"disk_used", {"Text16"}, {}},
        {"disk_use", {"Text17"}, {}},
        {"default_printer", {"Text18"}, {}},
        {"product_model", {"Text39"}, {}},
        {"product_maker", {"Text40"}, {}},
        {"os_started", {"Label3"}, QStringLiteral("Ｗｉｎｄｏｗｓが起動された時刻 ")},
        {"uptime", {"Label2"}, QStringLiteral("Ｗｉｎｄｏｗｓ起動からの経過時間 ")},
    };
    return items;
}

QString isoWithOffset(const QDateTime& time) {
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray factsJson(Form1Logic& form1) {
    const FormModel& model = form1.model();
    QByteArray out = "{\n";
    auto member = [&out](const char* key, const QByteArray& value) {
        out += "  \"" + QByteArray(key) + "\": " + value + ",\n";
    };
    member("version", json(QStringLiteral(TORVIX_VERSION)));
    member("collected", json(isoWithOffset(form1.machine().clock->now())));
    for (const FactItem& item : factItems()) {
        const QByteArray key = item.key.toUtf8();
        if (item.boxes.size() == 1) {
            member(key.constData(), json(boxValue(model, item.boxes.first(), item.captionPrefix)));
            continue;
        }
        QByteArray list = "[";
        for (qsizetype i = 0; i < item.boxes.size(); ++i) {
            if (i) list += ", ";
            list += json(boxValue(model, item.boxes.at(i), item.captionPrefix));
        }
        member(key.constData(), list + "]");
    }
    member("installed_software", objectList(installedSoftware(form1)));
    member("printers", objectList(printers(form1)));
    out += "  \"boots\": " + objectList(boots(form1)) + "\n}\n";
    return out;
}

int runFacts(Machine& machine, QByteArray& out) {
    ReportUserInterface ui;
    struct NoWindow : ProgramControl {
        void removeCloseBox() override {}
        void endProgram() override {}
    } program;
    Form1Logic form1(machine, ui, program);
    form1.runStartupSequence();
    form1.Timer2_Timer();
    out = factsJson(form1);
    return 0;
}

}  // namespace torvix
