// os-release (shell assignments): never throws, and every value read, written back quoted in the
// shell's single quotes, reads the same.

#include "fuzz_support.h"
#include "platform/live/root_files.h"

using namespace torvix;

namespace {

QString singleQuoted(QString value) {
    value.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + value + u'\'';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QHash<QString, QString> values;
    torvix::fuzz::noThrow(
        [&] { values = live::parseShellAssignments(torvix::fuzz::bytes(data, size)); });
    QString back;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        FUZZ_CHECK(!it.key().isEmpty() && !it.key().contains(u'=') && !it.key().contains(u'\n'),
                   it.key());
        FUZZ_CHECK(!it.value().contains(u'\n'), it.value());
        // "export " is taken off once, so it keeps a key that itself begins with it.
        back += QStringLiteral("export ") + it.key() + u'=' + singleQuoted(it.value()) + u'\n';
    }
    QHash<QString, QString> again;
    torvix::fuzz::noThrow([&] { again = live::parseShellAssignments(back.toUtf8()); });
    FUZZ_CHECK(again == values, back);
    return 0;
}
