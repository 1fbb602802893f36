#include "items/storage/software_list.h"

#include <QDir>
#include <cstdio>
#include <exception>

#include "platform/text/text_file.h"

namespace torvix::items {

namespace {

constexpr Rgb paleCyan = rgb(204, 255, 255);

const QString list1 = QStringLiteral("List1");
const QString label9 = QStringLiteral("Label9");

std::optional<QString> textOf(const wmi::Value& value) {
    if (value.isNull()) return std::nullopt;
    return value.toText();
}

void hideSearchNotice(FormModel& form) {
    form.setText(label9, QString());
    form.setVisible(label9, false);
}

}  // namespace

const QString softwareQuery = QStringLiteral("Select * from Win32_Product");

SoftwareEntry softwareEntry(const wmi::Instance& product) {
    return {textOf(product.property(u"Caption")), textOf(product.property(u"Version"))};
}

QString softwareLine(const SoftwareEntry& entry) {
    return entry.name.value_or(QString()) + QLatin1Char(' ') + entry.version.value_or(QString());
}

namespace {
const QString softwareListName = QStringLiteral("インストールソフト名.txt");
}

QString softwareListPath(const CurrentDirectory& currentDirectory) {
    return joinCurrentDirectory(currentDirectory, softwareListName);
}

bool buildSoftwareList(RoutineContext& ctx, const CurrentDirectory& currentDirectory,
                       const std::function<bool()>& stop) {
    FormModel& form = ctx.form();
    form.clearItems(list1);
    const QString question = QStringLiteral(
        "インストールされているソフトを調べますのでそのままお待ち下さい。\r\n"
        "画面が一時停止状態になります。\r\n"
        "\r\n"
        "   (注意)\r\n"
        "       この処理は時間がかかりますので\r\n"
        "       「この表示が終了する迄の残り時間」を無効にします。");
    if (ctx.ui().messageBox(question, QStringLiteral("インストールソフト"),
                            UserInterface::Buttons::YesNo,
                            UserInterface::Icon::Information) == UserInterface::Answer::No)
        return false;

    const QString path = softwareListPath(currentDirectory);
    const auto stopped = [&] { return stop && stop(); };
    TextFileWriter file;
    try {
        form.setBackground(list1, paleCyan);
        ctx.step(QStringLiteral("open"));
        // The old list stays whole until the new one is: a run that is stopped or killed half way
        // leaves it as it was.
        file.openIn(currentDirectory, softwareListName, {}, TextFileWriter::Replace::WhenComplete);
        form.setText(label9, QStringLiteral("検索中です。しばらくお待ちください。"));
        form.setVisible(label9, true);

        // The clock must not end the program while the list is being built.
        ctx.shared().AutoEndEnabled = false;
        form.setText(QStringLiteral("Command34"), QStringLiteral("← この終了機能を有効にする"));
        form.setBackground(QStringLiteral("Command34"), colors::lightGreen);
        ctx.ui().yield();
        if (stopped()) {
            file.discard();
            hideSearchNotice(form);
            return true;
        }

        ctx.step(QStringLiteral("GetObject \"winmgmts:\\\\.\\root\\cimv2\""));
        const wmi::Services services =
            ctx.wmi().connect(QStringLiteral("winmgmts:\\\\.\\root\\cimv2"));
        ctx.ui().yield();
        if (stopped()) {
            file.discard();
            hideSearchNotice(form);
            return true;
        }
        ctx.step(QStringLiteral("ExecQuery \"%1\"").arg(softwareQuery));
        wmi::ObjectSet products = services.ExecQuery(softwareQuery);
        ctx.ui().yield();

        for (;;) {
            if (stopped()) break;
            ctx.step(QStringLiteral("walk Win32_Product"));
            std::optional<wmi::Instance> product = products.next();
            if (!product) break;
            ctx.ui().yield();
            if (stopped()) break;
            ctx.step(QStringLiteral("Caption, Version"));
            const QString line = softwareLine(softwareEntry(*product));
            form.addItem(list1, line);
            ctx.step(QStringLiteral("write"));
            file.appendLine(line);
            form.setTopItem(list1, static_cast<int>(form.items(list1).size()) - 1);
        }

        ctx.step(QStringLiteral("close"));
        if (stopped()) {
            file.discard();
            hideSearchNotice(form);
            return true;
        }
        file.close();
        hideSearchNotice(form);
    } catch (const std::exception& e) {
        QString cause = failureMessage(e);
        cause.replace(QLatin1Char('\n'), QLatin1Char(' '));
        std::fprintf(stderr, "torvix: Command31_Click: %s: %s\n",
                     ctx.currentStep().toLocal8Bit().constData(), cause.toLocal8Bit().constData());
        std::fflush(stderr);
        form.addItem(list1, QStringLiteral("[") + path + QStringLiteral("]は"));
        form.addItem(list1, QStringLiteral("書き込めるファイルではありません"));
        form.setBackground(list1, colors::yellow);
        try {
            file.close();
        } catch (const std::exception&) {
            // already failing: the two lines above say so
        }
        hideSearchNotice(form);
        return true;
    }

    ctx.ui().messageBox(QStringLiteral("リストが作成されました。\r\n"
                                       "以下のファイルにも保存されています。\r\n") +
                            path,
                        QStringLiteral("リスト作成"), UserInterface::Buttons::Ok,
                        UserInterface::Icon::Information);
    return true;
}

void Command31_Click(RoutineContext& ctx) {
    buildSoftwareList(ctx, currentDirectory());
}

}  // namespace torvix::items
