#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace torvix {

// How much of a value from outside (a file, the command line, a service) a message repeats.
constexpr qsizetype messageValueLimit = 200;
// A path is repeated whole up to the longest path the system opens.
constexpr qsizetype messagePathLimit = 4096;

// A value from outside as a message may show it: control characters (C0, DEL, C1, line and
// paragraph separators, direction overrides) escaped as \n, \t, \r, \0, \x1b or \u202e, a byte
// that was not UTF-8 (see textFromBytes) as \xff, and the value cut after `limit` characters
// with "…". A terminal never sees a raw control character from a file this way.
QString escapedForMessage(QStringView value, qsizetype limit = messageValueLimit);
// The same between double quotes.
QString quotedForMessage(QStringView value, qsizetype limit = messageValueLimit);

// Bytes from outside (a command-line argument, a file name) as text without losing any: UTF-8
// is decoded, and each byte that is not part of valid UTF-8 becomes the lone surrogate
// U+DC80 + byte, which bytesFromText() turns back into that byte.
QString textFromBytes(QByteArrayView bytes);
QByteArray bytesFromText(QStringView text);

}  // namespace torvix
