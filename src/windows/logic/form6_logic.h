#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "items/form_model.h"
#include "items/user_interface.h"
#include "platform/machine.h"
#include "platform/text/text_file.h"

namespace torvix {

// One special folder as the window shows it: the lookup key, its label in the file (name padded
// to the colon) and its label in the list.
struct SpecialFolderEntry {
    QString key;
    QString fileLabel;
    QString listLabel;
};

// The thirteen folders in the window's order.
const std::vector<SpecialFolderEntry>& specialFolderEntries();

// The special folder window without widgets: List1 and Command1 "表示終了" in its model, the
// load that writes "特殊フォルダパス.txt" and then fills the list, and the messages it shows.
class Form6Logic {
  public:
    static const QString fileName;  // "特殊フォルダパス.txt"
    static const QString title;  // "特殊フォルダ", the caption and the closing message's title

    // What stopped the load: the error number and the platform's description of it.
    struct LoadError {
        int number = 0;
        QString description;
        QString text() const;  // "13   Permission denied"
    };

    Form6Logic();

    FormModel& model() { return model_; }
    const FormModel& model() const { return model_; }

    // Form_Load: looks the folders up and writes the file in `currentDir`, then looks them up
    // again into List1. The first failing step stops the load and is told through `ui` (number,
    // three spaces, description; the program's title, OK, no icon); the list keeps what was
    // added before. `charset` empty: the locale's.
    void Form_Load(Machine& machine, const CurrentDirectory& currentDir, UserInterface& ui,
                   const QByteArray& charset = {});

    const QString& path() const { return path_; }
    const QStringList& fileLines() const { return fileLines_; }
    // Whether the file holds every entry.
    bool fileSaved() const { return fileSaved_; }
    const std::optional<LoadError>& loadError() const { return loadError_; }

    // "表示終了": where the file lies, or, when it could not be written whole, that it was not
    // saved. The window closes once the box is dismissed.
    void Command1_Click(UserInterface& ui) const;

    QString savedMessage() const;
    QString failedMessage() const;

  private:
    FormModel model_;
    QString path_;
    QStringList fileLines_;
    bool fileSaved_ = false;
    std::optional<LoadError> loadError_;
};

}  // namespace torvix
