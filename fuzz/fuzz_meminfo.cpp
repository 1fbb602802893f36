// /proc/meminfo: never throws, and what it reads written back as "NAME: VALUE kB" reads the same.

#include "fuzz_support.h"
#include "platform/live/root_files.h"

using namespace torvix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QHash<QString, qint64> values;
    torvix::fuzz::noThrow([&] { values = live::parseMeminfo(torvix::fuzz::bytes(data, size)); });
    QByteArray back;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        FUZZ_CHECK(!it.key().contains(u':') && !it.key().contains(u'\n'), it.key());
        back += ' ' + it.key().toLatin1() + ": " + QByteArray::number(it.value()) + " kB\n";
    }
    QHash<QString, qint64> again;
    torvix::fuzz::noThrow([&] { again = live::parseMeminfo(back); });
    FUZZ_CHECK(again == values, QString::fromLatin1(back));
    return 0;
}
