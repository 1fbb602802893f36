#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "items/form_model.h"
#include "items/user_interface.h"
#include "platform/machine.h"
#include "platform/text/text_file.h"

namespace torvix {

// The MAC address list window without widgets: List1 and Command1 "表示終了" in its model, the
// load that fills the list and writes "MACアドレス.txt", and the messages it shows.
class Form4Logic {
  public:
    static const QString fileName;  // "MACアドレス.txt"
    static const QString title;     // "MACアドレス", the caption and the message boxes' title

    Form4Logic();

    FormModel& model() { return model_; }
    const FormModel& model() const { return model_; }

    // Form_Load: header from the main window's Text11 and Text12, then one line per adapter
    // configuration in the service's order, into List1 and the file in `currentDir`. `charset`
    // empty: the locale's. A failing query ends the list where it failed (cause on standard error
    // and in List1's tooltip); the file then holds what was gathered. A file that cannot be
    // written leaves the list as it is and is kept in fileError().
    void Form_Load(const FormModel& form1, Machine& machine, const CurrentDirectory& currentDir,
                   const QByteArray& charset = {});

    const QString& path() const { return path_; }
    const QStringList& fileLines() const { return fileLines_; }
    const std::optional<QString>& fileError() const { return fileError_; }
    const std::optional<QString>& queryError() const { return queryError_; }

    // Tells the user the file could not be written, when that is so; false when it was written.
    bool reportFileError(UserInterface& ui) const;

    // "表示終了": where the file lies (or, when it could not be written, that it was not saved).
    // The window closes once the box is dismissed.
    void Command1_Click(UserInterface& ui) const;

    QString savedMessage() const;
    QString failedMessage() const;

  private:
    FormModel model_;
    QString path_;
    QStringList fileLines_;
    std::optional<QString> fileError_;
    std::optional<QString> queryError_;
};

// One adapter's line in List1 and in the file.
QString macListLine(const QString& mac, const QString& description);
QString macFileLine(const QString& mac, const QString& description);

}  // namespace torvix
