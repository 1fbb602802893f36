// Machine-file reader: only its documented errors (Failure and subclasses) escape; a file that
// parses gives instances whose values read back by name in any letter case, and every function
// and the directory answer or fail with a Failure.

#include "fuzz_support.h"
#include "platform/machine.h"
#include "platform/wmi/error.h"

using namespace torvix;

namespace {

void readBack(const wmi::Instance& instance, const QString& file) {
    for (const wmi::Property& p : instance.properties()) {
        const wmi::Value* byName = instance.find(p.name);
        FUZZ_CHECK(byName != nullptr, file);
        // Names are one property whatever their case: the first of that name answers. (Only
        // ASCII names: some letters change length when their case changes.)
        bool ascii = true;
        for (QChar c : p.name) ascii = ascii && c.unicode() < 0x80;
        if (ascii) {
            FUZZ_CHECK(instance.find(p.name.toUpper()) == byName, p.name);
            FUZZ_CHECK(instance.find(p.name.toLower()) == byName, p.name);
        }
        torvix::fuzz::allowing<wmi::Error>([&] { (void)p.value.toText(); });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray json = torvix::fuzz::bytes(data, size);
    Machine machine;
    if (!torvix::fuzz::allowing<Failure>(
            [&] { machine = parseMachineFile(json, QStringLiteral("fuzz.json"), false); }))
        return 0;
    FUZZ_CHECK(machine.wmi && machine.clock && machine.system && machine.directory,
               QString::fromUtf8(json));

    // Parsing is deterministic: the same file gives the same classes.
    Machine twice = parseMachineFile(json, QStringLiteral("fuzz.json"), false);
    FUZZ_CHECK(twice.wmi->registry().classNames() == machine.wmi->registry().classNames(),
               QString::fromUtf8(json));

    for (const QString& className : machine.wmi->registry().classNames()) {
        torvix::fuzz::allowing<Failure>([&] {
            wmi::ObjectSet set = machine.wmi->ConnectServer().ExecQuery(
                QStringLiteral("SELECT * FROM ") + className);
            int walked = 0;
            while (std::optional<wmi::Instance> instance = set.next()) {
                FUZZ_CHECK(instance->className().compare(className, Qt::CaseInsensitive) == 0,
                           className);
                readBack(*instance, QString::fromUtf8(json));
                ++walked;
            }
            set.rewind();
            FUZZ_CHECK(set.count() == walked, className);
        });
    }

    (void)machine.clock->now();
    (void)machine.clock->tickCountMs();
    const SystemFunctions& s = *machine.system;
    torvix::fuzz::allowing<Failure>([&] { (void)s.processorCount(); });
    torvix::fuzz::allowing<Failure>([&] { (void)s.screenSize(); });
    torvix::fuzz::allowing<Failure>([&] { (void)s.isUserAnAdmin(); });
    torvix::fuzz::allowing<Failure>([&] { (void)s.diskFreeSpace(); });
    torvix::fuzz::allowing<Failure>([&] { (void)s.networkUserName(); });
    for (const char* key : {"Desktop", "desktop", "Favorites", ""})
        torvix::fuzz::allowing<Failure>([&] { (void)s.specialFolder(QString::fromLatin1(key)); });

    torvix::fuzz::allowing<Failure>([&] {
        auto connection = machine.directory->open(directory::providerName(), QString());
        const std::vector<directory::Row> rows = connection->execute(
            QStringLiteral("SELECT ADsPath FROM 'LDAP://' WHERE objectCategory='user'"), {});
        for (const directory::Row& row : rows)
            torvix::fuzz::allowing<Failure>(
                [&] { (void)connection->passwordLastChanged(row.adsPath); });
    });
    return 0;
}
