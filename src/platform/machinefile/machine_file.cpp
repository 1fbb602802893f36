#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QHash>
#include <QSet>
#include <QTimeZone>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/directory/file_directory.h"
#include "platform/machine.h"
#include "platform/machinefile/json_reader.h"
#include "platform/machinefile/machine_writer.h"
#include "platform/outside_text.h"
#include "platform/wmi/error.h"
#include "platform/wmi/schema.h"

namespace torvix {

namespace {

using machinefile::JsonNode;
using wmi::Error;
using wmi::Instance;
using wmi::Value;

constexpr qint64 maxFileSize = machinefile::maxMachineFileSize;

constexpr std::int64_t maxTickCountMs = std::int64_t(36525) * 24 * 3600 * 1000;  // 100 years

const char* typeName(JsonNode::Type t) {
    switch (t) {
        case JsonNode::Type::Null:
            return "null";
        case JsonNode::Type::Boolean:
            return "a boolean";
        case JsonNode::Type::Integer:
            return "an integer";
        case JsonNode::Type::Double:
            return "a number";
        case JsonNode::Type::String:
            return "a text";
        case JsonNode::Type::Array:
            return "an array";
        case JsonNode::Type::Object:
            return "an object";
    }
    return "a value";
}

// A member's place for messages; a long name is cut there already.
QString join(const QString& path, const QString& key) {
    return path + QLatin1Char('.') + escapedForMessage(key);
}

// "[k]", the place of an array element.
QString index(std::size_t k) {
    return QLatin1Char('[') + QString::number(k) + QLatin1Char(']');
}

// Walks the parsed file, naming the place of every fault.
class Reader {
  public:
    explicit Reader(const QString& file) : file_(escapedForMessage(file, messagePathLimit)) {}

    [[noreturn]] void fail(const QString& path, const QString& what) const {
        // Paths are built from the file's own member names.
        throw MachineFileError(QStringLiteral("%1: %2: %3")
                                   .arg(file_, escapedForMessage(path, messagePathLimit), what));
    }

    [[noreturn]] void wrongKind(const QString& path, const char* expected,
                                const JsonNode& n) const {
        fail(path, QStringLiteral("expected %1, found %2")
                       .arg(QLatin1String(expected), QLatin1String(typeName(n.type))));
    }

    const JsonNode& object(const JsonNode& n, const QString& path) const {
        if (!n.isObject()) wrongKind(path, "an object", n);
        return n;
    }

    QString text(const JsonNode& n, const QString& path) const {
        if (n.type != JsonNode::Type::String) wrongKind(path, "a text", n);
        return n.text;
    }

    bool boolean(const JsonNode& n, const QString& path) const {
        if (n.type != JsonNode::Type::Boolean) wrongKind(path, "true or false", n);
        return n.boolean;
    }

    std::int64_t integer(const JsonNode& n, const QString& path, std::int64_t min,
                         std::int64_t max) const {
        if (n.type != JsonNode::Type::Integer) wrongKind(path, "an integer", n);
        if (n.integer < min || n.integer > max)
            fail(path,
                 QStringLiteral("%1 is out of range (%2 to %3)").arg(n.integer).arg(min).arg(max));
        return n.integer;
    }

    // Members outside `allowed` are most likely misspelt; better to say so than to ignore them.
    void onlyMembers(const JsonNode& n, const QString& path, const QStringList& allowed) const {
        for (const QString& k : n.keys) {
            if (!allowed.contains(k))
                fail(path.isEmpty() ? escapedForMessage(k) : join(path, k),
                     QStringLiteral("unknown member (known: %1)")
                         .arg(allowed.join(QStringLiteral(", "))));
        }
    }

    const QString& file() const { return file_; }

  private:
    QString file_;
};

// ---------------------------------------------------------------------------------------------
// Management values

// `path` names the value's place for messages; a scalar has no fault to name, and reading a
// large file spends no time on the places of its scalars (the caller passes none).
Value toValue(const Reader& r, const JsonNode& n, const QString& path, bool inArray);

bool isScalar(const JsonNode& n) {
    return n.type != JsonNode::Type::Array && n.type != JsonNode::Type::Object;
}

Instance toInstance(const Reader& r, const JsonNode& n, const QString& className,
                    const QString& path) {
    r.object(n, path);
    std::vector<wmi::Property> props;
    props.reserve(n.keys.size());
    // The service ignores the case of property names, so "Name" and "NAME" are one property and
    // one of them would be lost.
    machinefile::NameSet seen;  // case-folded
    for (std::size_t k = 0; k < n.keys.size(); ++k) {
        const QString& key = n.keys[k];
        if (!seen.insert(key.toCaseFolded()))
            r.fail(join(path, key),
                   QStringLiteral("the property is given twice (names ignore case)"));
        const JsonNode& item = n.items[k];
        props.push_back(
            {key, toValue(r, item, isScalar(item) ? QString() : join(path, key), false)});
    }
    return Instance(className, std::move(props));
}

Value toValue(const Reader& r, const JsonNode& n, const QString& path, bool inArray) {
    switch (n.type) {
        case JsonNode::Type::Null:
            return Value();
        case JsonNode::Type::Boolean:
            return Value(n.boolean);
        case JsonNode::Type::Integer:
            return Value(n.integer);
        case JsonNode::Type::Double:
            return Value(n.number);
        case JsonNode::Type::String:
            return Value(n.text);
        case JsonNode::Type::Array: {
            if (inArray) r.fail(path, QStringLiteral("an array cannot hold arrays"));
            std::vector<Value> items;
            items.reserve(n.items.size());
            for (std::size_t k = 0; k < n.items.size(); ++k) {
                const JsonNode& item = n.items[k];
                items.push_back(
                    toValue(r, item, isScalar(item) ? QString() : path + index(k), true));
            }
            return Value(std::move(items));
        }
        case JsonNode::Type::Object: {
            const JsonNode* inner = n.member(QStringLiteral("object"));
            if (!inner || n.keys.size() != 1)
                r.fail(path,
                       QStringLiteral("expected null, a boolean, a number, a text, an array or "
                                      "{\"object\": {...}}"));
            return Value(std::make_shared<const Instance>(
                toInstance(r, *inner, QString(), join(path, QStringLiteral("object")))));
        }
    }
    return Value();
}

// One class of the file: its instances in file order, or the failure its queries meet.
class FileClassProvider : public wmi::ClassProvider {
  public:
    FileClassProvider(QString name, QStringList properties,
                      std::shared_ptr<const std::vector<Instance>> instances,
                      std::optional<QString> error)
        : name_(std::move(name)),
          properties_(std::move(properties)),
          instances_(std::move(instances)),
          error_(std::move(error)) {}

    QString className() const override { return name_; }
    QStringList propertyNames() const override { return properties_; }

    std::unique_ptr<wmi::InstanceCursor> enumerate(const wmi::wql::Query&) const override {
        auto instances = instances_;
        auto error = error_;
        std::size_t position = 0;
        return std::make_unique<wmi::FunctionCursor>(
            [instances, error, position]() mutable -> std::optional<Instance> {
                if (error) throw Error(Error::Code::ProviderFailure, escapedForMessage(*error));
                if (!instances || position >= instances->size()) return std::nullopt;
                return (*instances)[position++];
            });
    }

  private:
    QString name_;
    QStringList properties_;
    std::shared_ptr<const std::vector<Instance>> instances_;
    std::optional<QString> error_;
};

std::shared_ptr<wmi::Registry> readWmi(const Reader& r, const JsonNode* wmiNode,
                                       const JsonNode* wmiError) {
    auto registry = std::make_shared<wmi::Registry>();
    if (wmiError) registry->setConnectionError(r.text(*wmiError, QStringLiteral("wmiError")));

    QSet<QString> given;  // case-folded class names
    if (wmiNode) {
        r.object(*wmiNode, QStringLiteral("wmi"));
        for (std::size_t c = 0; c < wmiNode->keys.size(); ++c) {
            const QString& written = wmiNode->keys[c];
            const JsonNode& node = wmiNode->items[c];
            const QString path = join(QStringLiteral("wmi"), written);
            if (written.isEmpty()) r.fail(path, QStringLiteral("a class needs a name"));
            const qsizetype before = given.size();
            given.insert(written.toCaseFolded());
            if (given.size() == before)
                r.fail(path, QStringLiteral("the class is given twice (names ignore case)"));

            const QString known = wmi::schemaClassName(written);
            const QString name = known.isEmpty() ? written : known;
            QStringList properties = wmi::schemaProperties(name);
            machinefile::NameSet listed;  // case-folded `properties`
            for (const QString& p : properties) listed.insert(p.toCaseFolded());

            if (node.isObject()) {
                const JsonNode* error = node.member(QStringLiteral("error"));
                if (!error || node.keys.size() != 1)
                    r.fail(path,
                           QStringLiteral("expected an array of instances or {\"error\": TEXT}"));
                const QString text = r.text(*error, join(path, QStringLiteral("error")));
                registry->add(std::make_shared<FileClassProvider>(name, properties, nullptr, text));
                continue;
            }
            if (node.type != JsonNode::Type::Array)
                r.wrongKind(path, "an array of instances or {\"error\": TEXT}", node);
            auto instances = std::make_shared<std::vector<Instance>>();
            instances->reserve(node.items.size());
            QSet<QString> spelled;  // property names as written, already in `listed`
            for (std::size_t k = 0; k < node.items.size(); ++k) {
                instances->push_back(toInstance(r, node.items[k], name, path + index(k)));
                for (const wmi::Property& p : instances->back().properties()) {
                    if (spelled.contains(p.name)) continue;  // instances mostly repeat names
                    spelled.insert(p.name);
                    if (listed.insert(p.name.toCaseFolded())) properties << p.name;
                }
            }
            registry->add(
                std::make_shared<FileClassProvider>(name, properties, instances, std::nullopt));
        }
    }
    // A known class the file leaves out simply has no instances.
    for (const QString& name : wmi::schemaClasses()) {
        if (!given.contains(name.toCaseFolded()))
            registry->add(std::make_shared<FileClassProvider>(name, wmi::schemaProperties(name),
                                                              nullptr, std::nullopt));
    }
    return registry;
}

// ---------------------------------------------------------------------------------------------
// Operating-system functions

class FileSystemFunctions : public SystemFunctions {
  public:
    std::optional<std::uint32_t> processors;
    std::optional<ScreenSize> screen;
    std::optional<bool> admin;
    std::optional<DiskFreeSpace> disk;
    std::optional<QString> userName;
    std::optional<QHash<QString, QString>> folders;
    QString file;

    std::uint32_t processorCount() const override { return get(processors, "processors"); }
    ScreenSize screenSize() const override { return get(screen, "screen"); }
    bool isUserAnAdmin() const override { return get(admin, "isUserAnAdmin"); }
    DiskFreeSpace diskFreeSpace() const override { return get(disk, "disk"); }
    QString networkUserName() const override { return get(userName, "networkUserName"); }
    QString specialFolder(const QString& key) const override {
        // Like the shell: a key it does not know gives the empty text.
        return get(folders, "specialFolders").value(key);
    }

  private:
    template <typename T>
    const T& get(const std::optional<T>& v, const char* member) const {
        if (!v)
            throw Failure(QStringLiteral("%1 gives no system.%2").arg(file, QLatin1String(member)));
        return *v;
    }
};

std::shared_ptr<SystemFunctions> readSystem(const Reader& r, const JsonNode* node) {
    auto sys = std::make_shared<FileSystemFunctions>();
    sys->file = r.file();
    if (!node) return sys;
    const QString base = QStringLiteral("system");
    r.object(*node, base);
    r.onlyMembers(
        *node, base,
        {"processors", "screen", "isUserAnAdmin", "disk", "networkUserName", "specialFolders"});
    constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t int64Max = std::numeric_limits<std::int64_t>::max();
    if (const JsonNode* n = node->member(QStringLiteral("processors")))
        sys->processors =
            static_cast<std::uint32_t>(r.integer(*n, join(base, QStringLiteral("processors")), 0,
                                                 std::numeric_limits<std::uint32_t>::max()));
    if (const JsonNode* n = node->member(QStringLiteral("screen"))) {
        const QString path = join(base, QStringLiteral("screen"));
        r.object(*n, path);
        r.onlyMembers(*n, path, {"width", "height"});
        ScreenSize s;
        for (const QString& key : {QStringLiteral("width"), QStringLiteral("height")}) {
            const JsonNode* m = n->member(key);
            if (!m) r.fail(join(path, key), QStringLiteral("missing"));
            const int v = static_cast<int>(r.integer(*m, join(path, key), 0, int32Max));
            (key == QLatin1String("width") ? s.width : s.height) = v;
        }
        sys->screen = s;
    }
    if (const JsonNode* n = node->member(QStringLiteral("isUserAnAdmin")))
        sys->admin = r.boolean(*n, join(base, QStringLiteral("isUserAnAdmin")));
    if (const JsonNode* n = node->member(QStringLiteral("disk"))) {
        const QString path = join(base, QStringLiteral("disk"));
        r.object(*n, path);
        const QStringList keys = {"sectorsPerCluster", "bytesPerSector", "freeClusters",
                                  "totalClusters"};
        r.onlyMembers(*n, path, keys);
        std::uint64_t v[4] = {};
        for (int k = 0; k < 4; ++k) {
            const JsonNode* m = n->member(keys[k]);
            if (!m) r.fail(join(path, keys[k]), QStringLiteral("missing"));
            v[k] = static_cast<std::uint64_t>(r.integer(*m, join(path, keys[k]), 0, int64Max));
        }
        sys->disk = DiskFreeSpace{v[0], v[1], v[2], v[3]};
    }
    if (const JsonNode* n = node->member(QStringLiteral("networkUserName")))
        sys->userName = r.text(*n, join(base, QStringLiteral("networkUserName")));
    if (const JsonNode* n = node->member(QStringLiteral("specialFolders"))) {
        const QString path = join(base, QStringLiteral("specialFolders"));
        r.object(*n, path);
        QHash<QString, QString> folders;
        for (std::size_t k = 0; k < n->keys.size(); ++k)
            folders.insert(n->keys[k], r.text(n->items[k], join(path, n->keys[k])));
        sys->folders = std::move(folders);
    }
    return sys;
}

std::shared_ptr<Clock> readClock(const Reader& r, const JsonNode* node, bool advances) {
    if (!node) return std::make_shared<SystemClock>();
    const QString base = QStringLiteral("clock");
    r.object(*node, base);
    r.onlyMembers(*node, base, {"now", "tickCount"});
    const JsonNode* now = node->member(QStringLiteral("now"));
    const JsonNode* tick = node->member(QStringLiteral("tickCount"));
    if (!now) r.fail(join(base, QStringLiteral("now")), QStringLiteral("missing"));
    if (!tick) r.fail(join(base, QStringLiteral("tickCount")), QStringLiteral("missing"));
    const QString nowText = r.text(*now, join(base, QStringLiteral("now")));
    QDateTime start = QDateTime::fromString(nowText, Qt::ISODateWithMs);
    if (!start.isValid() || nowText.size() < 19 || nowText[10] != QLatin1Char('T'))
        r.fail(join(base, QStringLiteral("now")),
               QStringLiteral("%1 is not a date and time like 2024-04-01T08:05:09")
                   .arg(quotedForMessage(nowText)));
    start = start.toLocalTime();
    const QString tickPath = join(base, QStringLiteral("tickCount"));
    if (tick->type != JsonNode::Type::Integer) r.wrongKind(tickPath, "an integer", *tick);
    // No computer has been up longer; the start time and the clock can then never overflow.
    if (tick->integer < 0 || tick->integer > maxTickCountMs)
        r.fail(tickPath, QStringLiteral("tickCount out of range: %1 (0 to %2 ms, 100 years)")
                             .arg(tick->integer)
                             .arg(maxTickCountMs));
    const std::int64_t ticks = tick->integer;
    return std::make_shared<OffsetClock>(start, ticks, advances);
}

}  // namespace

Machine parseMachineFile(const QByteArray& json, const QString& nameForMessages,
                         bool clockAdvances) {
    const Reader r(nameForMessages);
    JsonNode root;
    QString syntaxError;
    bool tooLarge = false;
    if (!machinefile::parseJson(json, root, syntaxError, -1, &tooLarge))
        throw MachineFileError(
            (tooLarge ? QStringLiteral("%1: %2") : QStringLiteral("%1: not a JSON file: %2"))
                .arg(r.file(), syntaxError));
    if (!root.isObject())
        throw MachineFileError(QStringLiteral("%1: expected a JSON object, found %2")
                                   .arg(r.file(), QLatin1String(typeName(root.type))));
    const JsonNode* version = root.member(QStringLiteral("torvix-machine"));
    if (!version)
        throw MachineFileError(
            QStringLiteral("%1: not a machine file (the member \"torvix-machine\": 1 is missing)")
                .arg(r.file()));
    // A later program's file is not a broken one: say which it is.
    if (version->type == JsonNode::Type::Integer && version->integer > 1)
        throw MachineFileError(
            QStringLiteral("%1: machine file version %2 is newer than this program reads (1); "
                           "use a newer torvix")
                .arg(r.file())
                .arg(version->integer));
    if (version->type != JsonNode::Type::Integer || version->integer != 1)
        r.fail(QStringLiteral("torvix-machine"),
               QStringLiteral("this program reads version 1 of the machine file only"));
    r.onlyMembers(root, QString(),
                  {"torvix-machine", "clock", "locale", "system", "wmi", "wmiError", "directory"});

    Machine m;
    m.clock = readClock(r, root.member(QStringLiteral("clock")), clockAdvances);
    if (const JsonNode* locale = root.member(QStringLiteral("locale")))
        m.locale = r.text(*locale, QStringLiteral("locale"));
    m.system = readSystem(r, root.member(QStringLiteral("system")));
    m.launcher = makeLiveCommandLauncher();
    m.wmi = std::make_shared<wmi::QueryService>(
        readWmi(r, root.member(QStringLiteral("wmi")), root.member(QStringLiteral("wmiError"))));
    if (const JsonNode* dir = root.member(QStringLiteral("directory")))
        m.directory = directory::readFileDirectory(*dir, r.file());
    else
        m.directory = directory::makeUnreachableDirectory(
            QStringLiteral("%1 describes no directory").arg(r.file()));
    return m;
}

Machine loadMachineFile(const QString& path, bool clockAdvances) {
    const QString shown = escapedForMessage(path, messagePathLimit);
    auto fail = [&](const QString& what) {
        return MachineFileError(QStringLiteral("%1: %2").arg(shown, what));
    };
    auto systemError = [&](int error) {
        return fail(
            QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(strerror(error))));
    };
    // The path is opened as the bytes it was given, so a name that is not UTF-8 still opens.
    // O_NONBLOCK: a FIFO without a writer must not hold the program; only a regular file is
    // read at all.
    const QByteArray bytes = bytesFromText(path);
    const int fd = ::open(bytes.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) throw systemError(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw systemError(errno);
    if (S_ISDIR(st.st_mode)) throw fail(QStringLiteral("is a folder, not a machine file"));
    if (!S_ISREG(st.st_mode))
        throw fail(QStringLiteral("is not a regular file (a FIFO or device), not a machine file"));
    if (st.st_size > maxFileSize)
        throw fail(QStringLiteral("too large for a machine file (more than %1 MB)")
                       .arg(maxFileSize / (1024 * 1024)));
    QByteArray data;
    data.resize(static_cast<qsizetype>(st.st_size));
    qsizetype got = 0;
    // The file may grow while it is read; never past the cap.
    for (;;) {
        if (got == data.size()) {
            if (data.size() > maxFileSize)
                throw fail(QStringLiteral("too large for a machine file (more than %1 MB)")
                               .arg(maxFileSize / (1024 * 1024)));
            data.resize(data.size() + 65536);
        }
        const ssize_t n = ::read(fd, data.data() + got, static_cast<size_t>(data.size() - got));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw systemError(errno);
        }
        if (n == 0) break;
        got += n;
    }
    data.truncate(got);
    return parseMachineFile(data, path, clockAdvances);
}

}  // namespace torvix
