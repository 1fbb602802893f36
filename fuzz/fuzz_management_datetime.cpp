// The management date-time conversion to Japan time: only Failure escapes, a value that converts
// is valid, and the converted time written back in the same form (offset +540) converts to itself.

#include <ctime>

#include "fuzz_support.h"
#include "items/network/network_items.h"

using namespace torvix;

// Local time is UTC here, so no daylight-saving gap of the fuzzing machine shifts a result.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(torvix::fuzz::bytes(data, size));
    QDateTime japan;
    if (!torvix::fuzz::allowing<Failure>([&] { japan = items::日本時間に変換(text); })) return 0;
    FUZZ_CHECK(japan.isValid(), text);

    const QDate d = japan.date();
    if (d.year() < 1 || d.year() > 9999) return 0;  // no four-digit year to write it back with
    const QString back =
        japan.toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral(".000000+540");
    QDateTime again;
    torvix::fuzz::allowing<std::nullptr_t>([&] { again = items::日本時間に変換(back); });
    FUZZ_CHECK(again.date() == d && again.time().hour() == japan.time().hour() &&
                   again.time().minute() == japan.time().minute() &&
                   again.time().second() == japan.time().second(),
               text + QStringLiteral(" -> ") + back);
    return 0;
}
