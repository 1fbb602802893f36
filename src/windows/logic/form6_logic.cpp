#include "windows/logic/form6_logic.h"

#include <cerrno>
#include <cstring>

#include "platform/text/text_file.h"

namespace torvix {

const QString Form6Logic::fileName = QStringLiteral("特殊フォルダパス.txt");
const QString Form6Logic::title = QStringLiteral("特殊フォルダ");

namespace {

const QString programTitle = QStringLiteral("トルビクス");
const QString pathIndent = QStringLiteral("     ");

// A step that failed without an error number of the operating system: the lookup itself is
// missing (a machine file without special folders), so "function not implemented".
Form6Logic::LoadError lookupError(const Failure& failure) {
    return {ENOSYS, failure.message()};
}

}  // namespace

const std::vector<SpecialFolderEntry>& specialFolderEntries() {
    // The file labels pad each name to the colon; the list labels are the names with " :"
    // (the printer entry keeps its trailing space).
    static const std::vector<SpecialFolderEntry> entries = {
        {"DeskTop", "DeskTop :           : ", "DeskTop :"},
        {"AllUsersDeskTop", "AllUsersDeskTop     : ", "AllUsersDeskTop :"},
        {"StartUp", "StartUp             : ", "StartUp :"},
        {"AllUsersStartUp", "AllUsersStartUp     : ", "AllUsersStartUp :"},
        {"MyDocuments", "MyDocuments         : ", "MyDocuments :"},
        {"SendTo", "SendTo              : ", "SendTo :"},
        {"PrintHood", "プリンター          : ", "プリンター : "},
        {"StartMenu", "StartMenu           : ", "StartMenu :"},
        {"AllUsersStartMenu", "AllUsersStartMenu   : ", "AllUsersStartMenu :"},
        {"Favorites", "お気に入り          : ", "お気に入り :"},
        {"Fonts", "フォント            : ", "フォント :"},
        {"NetHood", "マイネットワーク    : ", "マイネットワーク :"},
        {"Recent", "最近使ったファイル  : ", "最近使ったファイル :"},
    };
    return entries;
}

QString Form6Logic::LoadError::text() const {
    return QString::number(number) + QStringLiteral("   ") + description;
}

Form6Logic::Form6Logic() {
    model_.declare(QStringLiteral("List1"), QString());
    model_.declare(QStringLiteral("Command1"), QStringLiteral("表示終了"));
}

void Form6Logic::Form_Load(Machine& machine, const CurrentDirectory& currentDir, UserInterface& ui,
                           const QByteArray& charset) {
    const QString list = QStringLiteral("List1");
    model_.clearItems(list);
    fileLines_.clear();
    fileSaved_ = false;
    loadError_.reset();
    path_ = joinCurrentDirectory(currentDir, fileName);

    const auto stop = [&](LoadError error) {
        loadError_ = std::move(error);
        ui.messageBox(loadError_->text(), programTitle, UserInterface::Buttons::Ok,
                      UserInterface::Icon::None);
    };

    SystemFunctions* shell = machine.system.get();
    if (!shell) return stop({ENOSYS, QStringLiteral("the special folder lookup is not available")});

    // The file is opened before the first lookup, so a file that cannot be written is the first
    // failure; a lookup that fails leaves the lines before it in the file.
    std::optional<LoadError> lookupFailed;
    for (const SpecialFolderEntry& entry : specialFolderEntries()) {
        try {
            fileLines_ << entry.fileLabel + shell->specialFolder(entry.key);
        } catch (const Failure& f) {
            lookupFailed = lookupError(f);
            break;
        }
    }
    try {
        writeTextLinesIn(currentDir, fileName, fileLines_, charset);
    } catch (const TextFileError& e) {
        return stop({e.errorNumber(), e.cause()});
    } catch (const Failure& f) {
        return stop({EIO, f.message()});
    }
    if (lookupFailed) return stop(*lookupFailed);
    fileSaved_ = true;

    // The list is filled only once the file is closed.
    for (const SpecialFolderEntry& entry : specialFolderEntries()) {
        model_.addItem(list, entry.listLabel);
        try {
            model_.addItem(list, pathIndent + shell->specialFolder(entry.key));
        } catch (const Failure& f) {
            return stop(lookupError(f));
        }
    }
}

QString Form6Logic::savedMessage() const {
    return QStringLiteral("結果は「") + path_ + QStringLiteral("」に保存されています。");
}

QString Form6Logic::failedMessage() const {
    QString text = QStringLiteral("「") + path_ + QStringLiteral("」に保存できませんでした。");
    if (loadError_) text += QLatin1Char('\n') + loadError_->text();
    return text;
}

void Form6Logic::Command1_Click(UserInterface& ui) const {
    // Never claim a file was saved when it was not.
    if (!fileSaved_) {
        ui.messageBox(failedMessage(), title, UserInterface::Buttons::Ok,
                      UserInterface::Icon::Critical);
        return;
    }
    ui.messageBox(savedMessage(), title, UserInterface::Buttons::Ok,
                  UserInterface::Icon::Information);
}

}  // namespace torvix
