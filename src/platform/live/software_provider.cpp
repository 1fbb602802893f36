#include "platform/live/software_provider.h"

#include <pwd.h>
#include <unistd.h>

#include <QXmlStreamReader>
#include <vector>

#include "platform/live/dpkg_status.h"
#include "platform/live/lazy_cursor.h"
#include "platform/live/root_files.h"

namespace torvix::live {

namespace {

const QString productClass = QStringLiteral("Win32_Product");

wmi::Value valueOf(const std::optional<QString>& text) {
    return text ? wmi::Value(*text) : wmi::Value();
}

// Where each property stands in the class's schema order, found once: a package becomes an
// instance without a lookup table per package (there are thousands).
struct ProductSlots {
    QStringList names = wmi::schemaProperties(productClass);
    qsizetype caption = names.indexOf(QStringLiteral("Caption"));
    qsizetype name = names.indexOf(QStringLiteral("Name"));
    qsizetype identifyingNumber = names.indexOf(QStringLiteral("IdentifyingNumber"));
    qsizetype version = names.indexOf(QStringLiteral("Version"));
    qsizetype vendor = names.indexOf(QStringLiteral("Vendor"));
    qsizetype description = names.indexOf(QStringLiteral("Description"));
};

wmi::Instance packageInstance(const DpkgPackage& p, const QString& nativeArch) {
    static const ProductSlots at;
    QString name = p.package;
    if (p.architecture && *p.architecture != u"all" && *p.architecture != nativeArch)
        name += u':' + *p.architecture;
    std::vector<wmi::Property> props;
    props.reserve(static_cast<size_t>(at.names.size()));
    for (const QString& property : at.names) props.push_back({property, wmi::Value()});
    const auto set = [&props](qsizetype index, wmi::Value value) {
        if (index >= 0) props[static_cast<size_t>(index)].value = std::move(value);
    };
    set(at.caption, wmi::Value(name));
    set(at.name, wmi::Value(name));
    set(at.identifyingNumber, wmi::Value(name));
    set(at.version, valueOf(p.version));
    set(at.vendor, valueOf(p.maintainer));
    set(at.description, valueOf(p.synopsis));
    return wmi::Instance(productClass, std::move(props));
}

// What an application's AppStream file says about it (untranslated texts only).
struct AppStream {
    std::optional<QString> name, summary, developer, version;
};

AppStream parseAppStream(const QByteArray& xml) {
    AppStream a;
    QXmlStreamReader r(xml);
    QStringList path;  // element names from <component> down
    while (!r.atEnd()) {
        const QXmlStreamReader::TokenType t = r.readNext();
        if (t == QXmlStreamReader::EndElement) {
            if (!path.isEmpty()) path.removeLast();
            continue;
        }
        if (t != QXmlStreamReader::StartElement) continue;
        path << r.name().toString();
        const bool translated = r.attributes().hasAttribute(QStringLiteral("xml:lang"));
        const QString joined = path.join(u'/');
        if (joined == u"component/releases/release") {
            if (!a.version) {
                const QString v = r.attributes().value(QStringLiteral("version")).toString();
                if (!v.isEmpty()) a.version = v;
            }
            continue;
        }
        std::optional<QString>* target = nullptr;
        if (joined == u"component/name")
            target = &a.name;
        else if (joined == u"component/summary")
            target = &a.summary;
        else if (joined == u"component/developer_name" || joined == u"component/developer/name")
            target = &a.developer;
        if (!target || translated || *target) continue;
        const QString text = r.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
        path.removeLast();  // readElementText consumed the end of the element
        if (!text.isEmpty()) *target = text;
    }
    return a;  // a malformed file keeps what was read before the fault
}

// The "name=" of the [Application] group of a Flatpak metadata file.
std::optional<QString> metadataAppName(const QByteArray& metadata) {
    bool inApplication = false;
    for (QByteArray line : metadata.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inApplication = line == "[Application]";
            continue;
        }
        if (inApplication && line.startsWith("name=")) {
            const QString name = QString::fromUtf8(line.mid(5)).trimmed();
            if (!name.isEmpty()) return name;
        }
    }
    return std::nullopt;
}

// The applications of one Flatpak installation ("…/flatpak"), sorted by id.
std::vector<wmi::Instance> flatpakApps(const QString& root, const QString& installation) {
    std::vector<wmi::Instance> out;
    const QString appDir = installation + QStringLiteral("/app");
    for (const QString& id : listRootDir(root, appDir)) {
        const QString active = appDir + u'/' + id + QStringLiteral("/current/active");
        const std::optional<QByteArray> metadata =
            readRootFile(root, active + QStringLiteral("/metadata"), 256 * 1024);
        if (!metadata) continue;  // not deployed (or half removed)
        const QString appId = metadataAppName(*metadata).value_or(id);
        AppStream info;
        for (const QString& file : {QStringLiteral("/files/share/metainfo/%1.metainfo.xml"),
                                    QStringLiteral("/files/share/metainfo/%1.appdata.xml"),
                                    QStringLiteral("/files/share/appdata/%1.appdata.xml"),
                                    QStringLiteral("/files/share/appdata/%1.metainfo.xml")}) {
            if (const std::optional<QByteArray> xml =
                    readRootFile(root, active + file.arg(appId))) {
                info = parseAppStream(*xml);
                break;
            }
        }
        QHash<QString, wmi::Value> v;
        v[QStringLiteral("Caption")] = wmi::Value(info.name.value_or(appId));
        v[QStringLiteral("Name")] = wmi::Value(appId);
        v[QStringLiteral("IdentifyingNumber")] = wmi::Value(appId);
        v[QStringLiteral("Version")] = valueOf(info.version);
        v[QStringLiteral("Vendor")] = valueOf(info.developer);
        v[QStringLiteral("Description")] = valueOf(info.summary);
        v[QStringLiteral("InstallLocation")] = wmi::Value(active);
        out.push_back(makeSchemaInstance(productClass, std::move(v)));
    }
    return out;
}

// The user's Flatpak installation as a path on the system.
QString userFlatpakInstallation(const std::optional<QString>& home) {
    if (home) return *home + QStringLiteral("/.local/share/flatpak");
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.startsWith(u'/')) return dataHome + QStringLiteral("/flatpak");
    QString h = qEnvironmentVariable("HOME");
    if (h.isEmpty()) {
        if (const passwd* pw = ::getpwuid(::geteuid())) h = QString::fromLocal8Bit(pw->pw_dir);
    }
    if (h.isEmpty()) return QString();
    return h + QStringLiteral("/.local/share/flatpak");
}

// dpkg's packages one by one, then the Flatpak applications.
class SoftwareCursor : public wmi::InstanceCursor {
  public:
    explicit SoftwareCursor(SoftwareProvider::Options options) : options_(std::move(options)) {
        if (options_.nativeArchitecture.isEmpty())
            options_.nativeArchitecture = nativeDpkgArchitecture();
    }

    std::optional<wmi::Instance> next() override {
        if (!dpkgDone_) {
            if (!dpkg_)
                dpkg_ = std::make_unique<DpkgStatusReader>(
                    underRoot(options_.root, QStringLiteral("/var/lib/dpkg/status")));
            while (std::optional<DpkgPackage> p = dpkg_->next()) {
                if (p->status && isInstalledStatus(*p->status))
                    return packageInstance(*p, options_.nativeArchitecture);
            }
            dpkg_.reset();
            dpkgDone_ = true;
        }
        if (!flatpak_) {
            flatpak_ = std::make_unique<LazyListCursor>([this] {
                std::vector<wmi::Instance> apps =
                    flatpakApps(options_.root, QStringLiteral("/var/lib/flatpak"));
                const QString user = userFlatpakInstallation(options_.home);
                if (!user.isEmpty()) {
                    std::vector<wmi::Instance> mine = flatpakApps(options_.root, user);
                    for (wmi::Instance& i : mine) apps.push_back(std::move(i));
                }
                return apps;
            });
        }
        return flatpak_->next();
    }

  private:
    SoftwareProvider::Options options_;
    std::unique_ptr<DpkgStatusReader> dpkg_;
    bool dpkgDone_ = false;
    std::unique_ptr<LazyListCursor> flatpak_;
};

}  // namespace

QStringList SoftwareProvider::propertyNames() const {
    return wmi::schemaProperties(className());
}

std::unique_ptr<wmi::InstanceCursor> SoftwareProvider::enumerate(const wmi::wql::Query&) const {
    return std::make_unique<SoftwareCursor>(options_);
}

}  // namespace torvix::live
