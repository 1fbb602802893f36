#include "app/logic/snapshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <exception>

#include "app/logic/form_layout.h"
#include "app/logic/report.h"
#include "items/network/network_items.h"
#include "items/routine.h"
#include "platform/outside_text.h"
#include "platform/text/date_time_text.h"
#include "platform/text/file_target.h"
#include "platform/wmi/schema.h"
#include "platform/wmi/wql.h"
#include "windows/logic/form6_logic.h"
#include "windows/logic/form7_logic.h"

namespace torvix {

namespace {

using machinefile::MachineDescription;

const QString pingClass = QStringLiteral("Win32_PingStatus");
const QString processClass = QStringLiteral("Win32_Process");
const QString historyClass = QStringLiteral("Win32_NTLogEvent");

// Classes in the order the program knows them, then any other the registry holds.
QStringList classesToRead(const wmi::Registry& registry) {
    QStringList out;
    for (const QString& name : wmi::schemaClasses())
        if (registry.find(name)) out << name;
    QStringList others;
    for (const QString& name : registry.classNames()) {
        const wmi::ProviderPtr provider = registry.find(name);
        if (provider && !out.contains(provider->className(), Qt::CaseInsensitive))
            others << provider->className();
    }
    others.sort();
    return out + others;
}

// The newest events, as far as the history window reads them for its largest count: the
// older ones nobody reads, and a long history would make the file too large to read back.
class HistoryCut {
  public:
    HistoryCut() : query_(wmi::wql::parse(Form7Logic::historyQuery)), extent_(maxHistoryCount) {}
    bool lastAfter(const wmi::Instance& event) {
        if (query_.where && !wmi::wql::matches(*query_.where, event)) return false;
        return extent_.lastAfter(event.property(QStringLiteral("EventCode")).toInteger() ==
                                 startEventCode);
    }

  private:
    wmi::wql::Query query_;
    HistoryExtent extent_;
};

MachineDescription::Class readClass(const wmi::Services& services, const QString& name) {
    MachineDescription::Class out;
    out.name = name;
    try {
        wmi::ObjectSet set =
            services.ExecQuery(QStringLiteral("SELECT * FROM ") + name,
                               wmi::wbemFlagReturnImmediately | wmi::wbemFlagForwardOnly);
        std::optional<HistoryCut> history;
        if (name.compare(historyClass, Qt::CaseInsensitive) == 0) history.emplace();
        while (std::optional<wmi::Instance> instance = set.next()) {
            out.instances.push_back(std::move(*instance));
            // The address date needs the first process that has a creation date; the others'
            // command lines are nobody's business.
            if (name == processClass && out.instances.back().has(QStringLiteral("CreationDate")))
                break;
            if (history && history->lastAfter(out.instances.back())) break;
        }
    } catch (const std::exception& e) {
        out.instances.clear();
        out.error = failureMessage(e);
    }
    return out;
}

MachineDescription::System readSystem(const SystemFunctions& system) {
    MachineDescription::System out;
    // Each function that fails is left out, which is how the file says so.
    auto attempt = [](auto&& read) {
        try {
            read();
        } catch (const std::exception&) {
        }
    };
    attempt([&] { out.processors = system.processorCount(); });
    attempt([&] { out.screen = system.screenSize(); });
    attempt([&] { out.isUserAnAdmin = system.isUserAnAdmin(); });
    attempt([&] { out.disk = system.diskFreeSpace(); });
    attempt([&] { out.networkUserName = system.networkUserName(); });
    attempt([&] {
        std::vector<std::pair<QString, QString>> folders;
        QStringList keys;
        for (const SpecialFolderEntry& entry : specialFolderEntries()) keys << entry.key;
        // The picture of the window is saved on the desktop.
        if (!keys.contains(QStringLiteral("DeskTop"))) keys << QStringLiteral("DeskTop");
        for (const QString& key : keys) folders.emplace_back(key, system.specialFolder(key));
        out.specialFolders = std::move(folders);
    });
    return out;
}

// The echo of the computer's own address: the live ping answers the address the query names,
// so the instances it gave are kept as they came.
class RecordingPingProvider : public wmi::ClassProvider {
  public:
    RecordingPingProvider(wmi::ProviderPtr inner, MachineDescription::Class& record)
        : inner_(std::move(inner)), record_(record) {}
    QString className() const override { return inner_->className(); }
    QStringList propertyNames() const override { return inner_->propertyNames(); }
    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query& query) const override {
        std::shared_ptr<wmi::InstanceCursor> cursor;
        try {
            cursor = inner_->enumerate(query);
        } catch (const std::exception& e) {
            record_.error = failureMessage(e);
            throw;
        }
        MachineDescription::Class* record = &record_;
        return std::make_unique<wmi::FunctionCursor>([cursor, record]() {
            try {
                std::optional<wmi::Instance> next = cursor->next();
                if (next) record->instances.push_back(*next);
                return next;
            } catch (const std::exception& e) {
                record->error = failureMessage(e);
                throw;
            }
        });
    }

  private:
    wmi::ProviderPtr inner_;
    MachineDescription::Class& record_;
};

// What the directory answered to the password-date query.
struct DirectoryRecord {
    bool opened = false;
    std::optional<QString> error;
    std::vector<directory::Row> rows;
    QHash<QString, std::optional<QDateTime>> dates;
};

class RecordingConnection : public directory::Connection {
  public:
    RecordingConnection(std::unique_ptr<directory::Connection> inner, DirectoryRecord& record)
        : inner_(std::move(inner)), record_(record) {}
    std::vector<directory::Row> execute(const QString& query,
                                        const directory::CommandProperties& props) override {
        try {
            record_.rows = inner_->execute(query, props);
            return record_.rows;
        } catch (const std::exception& e) {
            record_.error = failureMessage(e);
            throw;
        }
    }
    std::optional<QDateTime> passwordLastChanged(const QString& adsPath) override {
        try {
            std::optional<QDateTime> date = inner_->passwordLastChanged(adsPath);
            record_.dates.insert(adsPath, date);
            return date;
        } catch (const std::exception& e) {
            record_.error = failureMessage(e);
            throw;
        }
    }

  private:
    std::unique_ptr<directory::Connection> inner_;
    DirectoryRecord& record_;
};

class RecordingDirectory : public directory::Directory {
  public:
    RecordingDirectory(std::shared_ptr<directory::Directory> inner, DirectoryRecord& record)
        : inner_(std::move(inner)), record_(record) {}
    std::unique_ptr<directory::Connection> open(const QString& provider,
                                                const QString& connection) override {
        record_.opened = true;
        try {
            return std::make_unique<RecordingConnection>(inner_->open(provider, connection),
                                                         record_);
        } catch (const std::exception& e) {
            record_.error = failureMessage(e);
            throw;
        }
    }

  private:
    std::shared_ptr<directory::Directory> inner_;
    DirectoryRecord& record_;
};

std::optional<MachineDescription::Directory> directoryAnswer(const DirectoryRecord& record,
                                                             const QString& userName) {
    if (!record.opened) return std::nullopt;
    MachineDescription::Directory out;
    if (record.error) {
        out.error = record.error;
        return out;
    }
    for (const directory::Row& row : record.rows) {
        MachineDescription::DirectoryObject object;
        object.adsPath = row.adsPath;
        object.objectCategory = QStringLiteral("user");
        object.name = userName;
        object.pwdLastSet = record.dates.value(row.adsPath);
        out.objects.push_back(std::move(object));
    }
    return out;
}

}  // namespace

QString snapshotSizeProblem(const MachineDescription& description, const QByteArray& text,
                            qint64 limit) {
    if (text.size() <= limit) return {};
    auto megabytes = [](qint64 bytes) {
        return QString::number(double(bytes) / (1024 * 1024), 'f', 1) + QStringLiteral(" MB");
    };
    QString largest;
    qint64 largestSize = -1;
    for (const MachineDescription::Class& cls : description.classes) {
        MachineDescription alone;
        alone.classes.push_back(cls);
        const qint64 size = machinefile::machineFileText(alone).size();
        if (size > largestSize) {
            largestSize = size;
            largest = cls.name;
        }
    }
    QString message = QStringLiteral(
                          "the snapshot would be %1, more than a machine file may hold "
                          "(%2)")
                          .arg(megabytes(text.size()), megabytes(limit));
    if (largestSize >= 0) {
        const QString known = largest == QLatin1String("Win32_Product")
                                  ? QStringLiteral("the installed software list ")
                              : largest == historyClass
                                  ? QStringLiteral("the start and shutdown history ")
                                  : QString();
        message += QStringLiteral("; the largest part is %1(%2), %3")
                       .arg(known, escapedForMessage(largest), megabytes(largestSize));
    }
    return message;
}

MachineDescription takeSnapshot(Machine& machine) {
    MachineDescription out;
    out.now = machine.clock->now();
    out.tickCountMs = machine.clock->tickCountMs();
    out.locale = effectiveTimeLocale(machine.locale);
    out.system = readSystem(*machine.system);

    const wmi::Registry& registry = machine.wmi->registry();
    MachineDescription::Class ping;
    ping.name = pingClass;
    if (registry.connectionError()) {
        out.wmiError = *registry.connectionError();
    } else {
        const wmi::Services services = machine.wmi->ConnectServer();
        for (const QString& name : classesToRead(registry))
            if (name != pingClass) out.classes.push_back(readClass(services, name));
    }

    // The ping and the directory answer what they are asked: the routines that ask are run on
    // what has been read so far, with only those two sources live.
    const QByteArray readSoFar = machinefile::machineFileText(out);
    // A file the program would refuse to read is not worth reading back either.
    if (const QString problem = snapshotSizeProblem(out, readSoFar); !problem.isEmpty())
        throw SnapshotTooLarge(problem);
    Machine replay;
    try {
        replay = parseMachineFile(readSoFar, QStringLiteral("snapshot"), false);
    } catch (const MachineFileError& e) {
        // What this program writes it reads, unless it is more than a reader may hold.
        throw SnapshotTooLarge(QStringLiteral("the snapshot could not be read back: ") +
                               e.message());
    }
    if (!out.wmiError) {
        auto combined = std::make_shared<wmi::Registry>();
        for (const QString& name : replay.wmi->registry().classNames())
            combined->add(replay.wmi->registry().find(name));
        if (wmi::ProviderPtr live = registry.find(pingClass))
            combined->add(std::make_shared<RecordingPingProvider>(live, ping));
        replay.wmi = std::make_shared<wmi::QueryService>(combined);
    }
    DirectoryRecord directoryRecord;
    if (machine.directory)
        replay.directory = std::make_shared<RecordingDirectory>(machine.directory, directoryRecord);
    else
        replay.directory.reset();

    FormModel form;
    declareControls(form1Spec(), form);
    ReportUserInterface ui;  // the routines run only to learn what they ask of the sources
    SharedValues shared;
    RoutineContext ctx(form, replay, ui, shared);
    for (auto routine : {&items::Command9_Click, &items::Command32_Click}) {
        try {
            routine(ctx);
        } catch (const std::exception&) {
            // The failure is in what was recorded; the replay meets it again.
        }
    }
    if (registry.find(pingClass) && !out.wmiError) {
        if (ping.error) ping.instances.clear();
        out.classes.push_back(std::move(ping));
    }
    out.directory = directoryAnswer(directoryRecord, items::GetUserName(ctx));
    return out;
}

QString writeWholeFile(const QString& path, const QByteArray& bytes) {
    if (path == QLatin1String("-")) {
        if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) !=
                static_cast<size_t>(bytes.size()) ||
            std::fflush(stdout) != 0)
            return QStringLiteral("cannot write to standard output");
        return {};
    }
    const QString shown = quotedForMessage(path, messagePathLimit);
    const auto failed = [&](const QString& why) {
        return QStringLiteral("cannot write %1: %2").arg(shown, why);
    };
    ignoreFileSizeSignal();
    const FileTarget target = findFileTarget(path);
    switch (target.kind) {
        case FileTarget::Kind::Refused:
            return failed(target.cause);
        case FileTarget::Kind::Stream: {
            // A device, a pipe or the caller's own open file: written to, never replaced. A FIFO
            // waits for its reader, as a shell's redirection does.
            const QByteArray name = QFile::encodeName(target.path);
            int fd;
            do {
                fd = ::open(name.constData(),
                            O_WRONLY | O_CLOEXEC | O_NOCTTY | (target.append ? O_APPEND : 0));
            } while (fd < 0 && errno == EINTR);
            if (fd < 0) return failed(errnoText(errno));
            int error = writeAll(fd, bytes);
            if (::close(fd) != 0 && !error && errno != EINTR) error = errno;
            return error ? failed(errnoText(error)) : QString();
        }
        case FileTarget::Kind::New:
        case FileTarget::Kind::Regular:
            break;
    }
    // Beside the target, put in place only when whole; a new file is for its owner's eyes only.
    FileReplacement file;
    int error = file.open(target, 0600);
    if (!error) error = writeAll(file.fd(), bytes);
    if (!error) error = file.commit();
    return error ? failed(errnoText(error)) : QString();
}

int runSnapshot(const CommandLine& commandLine, const LiveMachineOptions& live) {
    Machine machine;
    try {
        machine = machineFor(commandLine, live, false);
    } catch (const MachineFileError& e) {
        writeUtf8(stderr, QStringLiteral("torvix: ") + e.message() + QLatin1Char('\n'));
        return 2;
    } catch (const std::exception& e) {
        writeUtf8(stderr, QStringLiteral("torvix: ") + failureMessage(e) + QLatin1Char('\n'));
        return 1;
    }
    QByteArray text;
    try {
        const MachineDescription description = takeSnapshot(machine);
        text = machinefile::machineFileText(description);
        if (const QString problem = snapshotSizeProblem(description, text); !problem.isEmpty()) {
            writeUtf8(stderr, QStringLiteral("torvix: ") + problem + QLatin1Char('\n'));
            return 1;
        }
    } catch (const SnapshotTooLarge& e) {
        writeUtf8(stderr, QStringLiteral("torvix: ") + e.message() + QLatin1Char('\n'));
        return 1;
    } catch (const std::exception& e) {
        // Only a fault of this program gets here (a file it wrote and cannot read back): better
        // no file than one that does not replay.
        writeUtf8(stderr, QStringLiteral("torvix: cannot take the snapshot: ") + failureMessage(e) +
                              QLatin1Char('\n'));
        return 1;
    }
    const QString error = writeWholeFile(commandLine.snapshotFile, text);
    if (!error.isEmpty()) {
        writeUtf8(stderr, QStringLiteral("torvix: ") + error + QLatin1Char('\n'));
        return 1;
    }
    return 0;
}

}  // namespace torvix
