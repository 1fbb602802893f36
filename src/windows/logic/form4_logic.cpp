#include "windows/logic/form4_logic.h"

#include <cstdio>

#include "platform/text/text_file.h"
#include "platform/wmi/instance.h"

namespace torvix {

const QString Form4Logic::fileName = QStringLiteral("MACアドレス.txt");
const QString Form4Logic::title = QStringLiteral("MACアドレス");

namespace {
const QString placeholder = QStringLiteral("xx:xx:xx:xx:xx:xx    ");

// A null text adds nothing to its line.
QString textOrEmpty(const wmi::Value& value) {
    return value.isNull() ? QString() : value.toText();
}
}  // namespace

QString macListLine(const QString& mac, const QString& description) {
    if (mac.isEmpty()) return placeholder + description;
    return mac + QStringLiteral("  ") + description;
}

QString macFileLine(const QString& mac, const QString& description) {
    if (mac.isEmpty()) return placeholder + description;
    return mac + QStringLiteral("    ") + description;
}

Form4Logic::Form4Logic() {
    model_.declare(QStringLiteral("List1"), QString());
    model_.declare(QStringLiteral("Command1"), QStringLiteral("表示終了"));
}

void Form4Logic::Form_Load(const FormModel& form1, Machine& machine,
                           const CurrentDirectory& currentDir, const QByteArray& charset) {
    const QString list = QStringLiteral("List1");
    model_.clearItems(list);
    model_.setToolTip(list, QString());
    fileError_.reset();
    queryError_.reset();

    path_ = joinCurrentDirectory(currentDir, fileName);
    fileLines_.clear();
    fileLines_ << form1.text(QStringLiteral("Text11")) + QStringLiteral("(") +
                      form1.text(QStringLiteral("Text12")) + QStringLiteral(")のMACアドレス")
               << QString();

    QString step = QStringLiteral("connect");
    try {
        const wmi::Services services = machine.wmi->ConnectServer();
        step = QStringLiteral("query");
        wmi::ObjectSet adapters =
            services.ExecQuery(QStringLiteral("Select * From Win32_NetworkAdapterConfiguration"));
        step = QStringLiteral("read adapters");
        while (std::optional<wmi::Instance> adapter = adapters.next()) {
            const QString mac = textOrEmpty(adapter->property(QStringLiteral("MACAddress")));
            const QString description =
                textOrEmpty(adapter->property(QStringLiteral("Description")));
            model_.addItem(list, macListLine(mac, description));
            fileLines_ << macFileLine(mac, description);
        }
    } catch (const std::exception& e) {
        QString cause = failureMessage(e);
        cause.replace(QLatin1Char('\n'), QLatin1Char(' '));
        const QString line = QStringLiteral("Form4 Form_Load: %1: %2").arg(step, cause);
        std::fprintf(stderr, "torvix: %s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
        model_.setToolTip(list, line);
        queryError_ = cause;
    }

    try {
        writeTextLinesIn(currentDir, fileName, fileLines_, charset);
    } catch (const Failure& f) {
        fileError_ = f.message();
    }
}

QString Form4Logic::savedMessage() const {
    return QStringLiteral("結果は「") + path_ + QStringLiteral("」に保存されています。");
}

QString Form4Logic::failedMessage() const {
    return QStringLiteral("「") + path_ + QStringLiteral("」に保存できませんでした。\n") +
           fileError_.value_or(QString());
}

bool Form4Logic::reportFileError(UserInterface& ui) const {
    if (!fileError_) return false;
    ui.messageBox(failedMessage(), title, UserInterface::Buttons::Ok,
                  UserInterface::Icon::Critical);
    return true;
}

void Form4Logic::Command1_Click(UserInterface& ui) const {
    // Never claim a file was saved when it was not.
    if (reportFileError(ui)) return;
    ui.messageBox(savedMessage(), title, UserInterface::Buttons::Ok,
                  UserInterface::Icon::Information);
}

}  // namespace torvix
