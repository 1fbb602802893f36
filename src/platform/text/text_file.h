#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cerrno>

#include "platform/failure.h"

namespace torvix {

// A text file that could not be written: the message names the path and the cause; the
// operating system's error number and its own description stay apart for windows that show them
// ("13   Permission denied").
class TextFileError : public Failure {
  public:
    TextFileError(const QString& message, int errorNumber, const QString& cause)
        : Failure(message), errorNumber_(errorNumber), cause_(cause) {}
    int errorNumber() const { return errorNumber_; }
    const QString& cause() const { return cause_; }

  private:
    int errorNumber_;
    QString cause_;
};

// The character set text files are written in: the locale's (LC_CTYPE from the environment).
// A locale without one of its own (C, POSIX: plain ASCII) gives UTF-8, and Shift_JIS gives CP932,
// the form Windows programs read.
QByteArray localeFileCharset();

// `text` in `charset` (an iconv name); a character the set has no place for becomes "?".
// Throws Failure when the charset is unknown.
QByteArray encodeText(const QString& text, const QByteArray& charset);

// The process's current directory, or why it is not known (the errno of getcwd: it was removed,
// or a folder above it cannot be read). The program's files go there or nowhere: an unknown
// directory never stands for another folder, the root above all.
struct CurrentDirectory {
    CurrentDirectory() = default;
    // A folder handed in; "" (what QDir::currentPath() gives when getcwd fails) is unknown.
    CurrentDirectory(const QString& folder);  // NOLINT: implicit, call sites hand a folder path
    CurrentDirectory(const char* folder);     // NOLINT
    static CurrentDirectory unknown(int error);

    bool known() const { return error == 0; }
    QString path;        // empty when unknown
    int error = ENOENT;  // 0 when known
};

// Writes a text file line by line, each line in the character set and ended by CR LF, handed to
// the file as it comes: a run that stops part-way leaves the lines written so far. The file is
// closed by close() or, silently, by the destructor.
class TextFileWriter {
  public:
    // InPlace: the file is cut and filled as the lines come. WhenComplete: the lines go to a new
    // file beside it, which close() puts in its place; until then (and after a failed write, or
    // discard()) the file of that name stays as it was.
    enum class Replace { InPlace, WhenComplete };

    TextFileWriter();
    ~TextFileWriter();
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    // Creates `path`, replacing any file of that name. `charset` empty: localeFileCharset().
    // Every failure is a TextFileError naming the path and the cause (an unknown charset fails
    // before the file is touched). Only a regular file (or a new one) is written: a FIFO, a device
    // or a socket of that name is refused without waiting for a reader.
    // A link is followed only where the kernel's rule for shared folders lets it be.
    void open(const QString& path, const QByteArray& charset = {},
              Replace replace = Replace::InPlace);
    // open() for the file `name` in `dir`; an unknown directory is a TextFileError.
    void openIn(const CurrentDirectory& dir, const QString& name, const QByteArray& charset = {},
                Replace replace = Replace::InPlace);
    bool isOpen() const;
    // Throws TextFileError naming the path and the cause.
    void appendLine(const QString& line);
    // Throws TextFileError when the file could not be completed; it is closed either way.
    void close();
    // Closes without completing: a WhenComplete file leaves the old one in place.
    void discard();

  private:
    struct State;
    State* d_;
};

// Writes `lines` to `path`, each ended by CR LF, replacing any file of that name. `charset`
// empty: localeFileCharset(). Throws TextFileError naming the path and the cause when the file
// cannot be created or written.
void writeTextLines(const QString& path, const QStringList& lines, const QByteArray& charset = {});

// getcwd, with its errno when it fails.
CurrentDirectory currentDirectory();

// "current directory + \name" of the window's files: dir + "/" + name, with no test for a
// trailing separator (the root folder "/" gives "//name"). An unknown directory gives `name`
// alone, for messages only: writeTextLinesIn and TextFileWriter::openIn refuse it.
QString joinCurrentDirectory(const CurrentDirectory& dir, const QString& name);

// writeTextLines for the file `name` in `dir`; an unknown directory is a TextFileError carrying
// getcwd's errno, and nothing is written anywhere.
void writeTextLinesIn(const CurrentDirectory& dir, const QString& name, const QStringList& lines,
                      const QByteArray& charset = {});

}  // namespace torvix
