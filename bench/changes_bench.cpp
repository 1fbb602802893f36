// `torvix --changes` as a whole process: between two snapshots of this computer, and between two
// machine files of 100,000 installed packages each (one in a hundred upgraded, removed or new).
// Usage: changes_bench TORVIX OFFICE_PC_JSON [RUNS]
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "process_timing.h"

namespace {

double medianMs(int runs, const QString& program, const QStringList& args) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double ms = torvix::bench::processMs(program, args, 1);  // 1: changes found
        if (ms < 0) return -1;
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool snapshot(const QString& program, const QString& path) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, {"--snapshot", path});
    return p.waitForFinished(120000) && p.exitCode() == 0;
}

// The office PC with `count` packages; `later` upgrades, drops and adds one in a hundred.
bool writePackages(const QString& base, const QString& path, int count, bool later) {
    QFile in(base);
    if (!in.open(QIODevice::ReadOnly)) return false;
    QJsonObject root = QJsonDocument::fromJson(in.readAll()).object();
    QJsonObject wmi = root["wmi"].toObject();
    QJsonArray products;
    for (int i = 0; i < count; ++i) {
        QString name = QStringLiteral("package-%1").arg(i, 6, 10, QLatin1Char('0'));
        QString version = QStringLiteral("1.%1-1").arg(i % 97);
        if (later && i % 100 == 1) version += QStringLiteral("+b1");
        if (later && i % 100 == 2) continue;
        if (later && i % 100 == 3) name += QStringLiteral("-new");
        products.append(QJsonObject{{"Caption", name}, {"Version", version}});
    }
    wmi["Win32_Product"] = products;
    root["wmi"] = wmi;
    QFile out(path);
    return out.open(QIODevice::WriteOnly) &&
           out.write(QJsonDocument(root).toJson(QJsonDocument::Compact)) > 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: changes_bench TORVIX OFFICE_PC_JSON [RUNS]\n");
        return 2;
    }
    const QString torvix = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 11;
    QTemporaryDir dir;
    const QString a = dir.filePath("a.json"), b = dir.filePath("b.json");
    if (!snapshot(torvix, a) || !snapshot(torvix, b)) {
        std::fprintf(stderr, "changes_bench: --snapshot failed\n");
        return 1;
    }
    QFile sized(a);
    sized.open(QIODevice::ReadOnly);
    const int packages = int(QJsonDocument::fromJson(sized.readAll())
                                 .object()["wmi"]
                                 .toObject()["Win32_Product"]
                                 .toArray()
                                 .size());
    std::printf("--changes, two snapshots of this computer (%d packages):  %8.1f ms (goal 50)\n",
                packages, medianMs(runs, torvix, {"--changes", a, "--machine", b}));
    std::printf("--changes, a snapshot against this computer itself:          %8.1f ms\n",
                medianMs(runs, torvix, {"--changes", a}));
    const QString big0 = dir.filePath("big0.json"), big1 = dir.filePath("big1.json");
    const QString base = QString::fromLocal8Bit(argv[2]);
    if (!writePackages(base, big0, 100000, false) || !writePackages(base, big1, 100000, true)) {
        std::fprintf(stderr, "changes_bench: cannot write the large machine files\n");
        return 1;
    }
    std::printf(
        "--changes, two machine files of 100,000 packages:           %8.1f ms (goal 1000)\n",
        medianMs(std::max(1, runs / 2), torvix, {"--changes", big0, "--machine", big1}));
    std::printf(
        "--changes=json, the same:                                     %8.1f ms\n",
        medianMs(std::max(1, runs / 2), torvix, {"--changes=json", big0, "--machine", big1}));
    return 0;
}
