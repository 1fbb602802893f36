// /proc/cpuinfo through the processor class: only wmi::Error escapes, and every processor the
// file yields counts at least one core and one logical processor, numbered in order.

#include "fuzz_support.h"
#include "platform/live/hardware_providers.h"
#include "platform/wmi/error.h"
#include "platform/wmi/wql.h"

using namespace torvix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the machine type, so the Arm and x86 namings are both reached.
    static const char* const machines[] = {"x86_64",  "aarch64", "armv7l",
                                           "riscv64", "s390x",   "i686"};
    const QString machine = QString::fromLatin1(machines[data[0] % 6]);
    torvix::fuzz::writeUnderRoot(QStringLiteral("/proc/cpuinfo"),
                                 torvix::fuzz::bytes(data + 1, size - 1));

    const live::ProcessorProvider provider(torvix::fuzz::scratchRoot(), machine);
    const wmi::wql::Query query = wmi::wql::parse(QStringLiteral("SELECT * FROM Win32_Processor"));
    torvix::fuzz::allowing<wmi::Error>([&] {
        auto cursor = provider.enumerate(query);
        int index = 0;
        while (std::optional<wmi::Instance> cpu = cursor->next()) {
            FUZZ_CHECK(cpu->property(u"DeviceID").toText() == QStringLiteral("CPU%1").arg(index),
                       machine);
            FUZZ_CHECK(cpu->property(u"NumberOfCores").toInteger() >= 1, machine);
            FUZZ_CHECK(cpu->property(u"NumberOfLogicalProcessors").toInteger() >= 1, machine);
            const wmi::Value& clock = cpu->property(u"MaxClockSpeed");
            FUZZ_CHECK(clock.isNull() || clock.toInteger() > 0, machine);
            ++index;
        }
        FUZZ_CHECK(index >= 1, machine);
    });
    return 0;
}
