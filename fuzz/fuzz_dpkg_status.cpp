// dpkg's status database: the reader never throws but wmi::Error, returns only stanzas that name
// their package, no field it keeps is empty, and it gives the same packages however the file
// ends its lines.

#include "fuzz_support.h"
#include "platform/live/dpkg_status.h"
#include "platform/wmi/error.h"

using namespace torvix;
using namespace torvix::live;

namespace {

std::vector<DpkgPackage> readAll(const QByteArray& text) {
    torvix::fuzz::writeUnderRoot(QStringLiteral("/var/lib/dpkg/status"), text);
    std::vector<DpkgPackage> out;
    DpkgStatusReader reader(torvix::fuzz::scratchRoot() + QStringLiteral("/var/lib/dpkg/status"));
    while (std::optional<DpkgPackage> p = reader.next()) {
        FUZZ_CHECK(!p->package.isEmpty(), QString());
        for (const auto* field :
             {&p->status, &p->architecture, &p->version, &p->maintainer, &p->synopsis})
            FUZZ_CHECK(!field->has_value() || !(*field)->isEmpty(), p->package);
        if (p->status) (void)isInstalledStatus(*p->status);
        out.push_back(std::move(*p));
        FUZZ_CHECK(out.size() <= static_cast<size_t>(text.size()), QString());
    }
    return out;
}

bool samePackages(const std::vector<DpkgPackage>& a, const std::vector<DpkgPackage>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].package != b[i].package || a[i].status != b[i].status ||
            a[i].architecture != b[i].architecture || a[i].version != b[i].version ||
            a[i].maintainer != b[i].maintainer || a[i].synopsis != b[i].synopsis)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text = torvix::fuzz::bytes(data, size);
    std::vector<DpkgPackage> plain;
    if (!torvix::fuzz::allowing<wmi::Error>([&] { plain = readAll(text); })) return 0;
    // CR LF line ends read as LF ones (when the file has no CR of its own).
    if (!text.contains('\r')) {
        QByteArray crlf = text;
        crlf.replace("\n", "\r\n");
        std::vector<DpkgPackage> again;
        torvix::fuzz::allowing<std::nullptr_t>([&] { again = readAll(crlf); });
        FUZZ_CHECK(samePackages(plain, again), QString::fromUtf8(text));
    }
    return 0;
}
