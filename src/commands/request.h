#pragma once

#include "commands/requestparameters.h"

#include <QList>
#include <QString>

namespace vorn {

// What a page request text asks for, decided before any command runs.
//
// The window commands are recognised by their exact texts ("moveWindow" by its start); any
// other text must be a JSON object with a member "funcname" to reach the dispatcher. Texts
// that are neither are dropped without an answer.
struct ParsedRequest
{
    enum class Kind
    {
        Dropped,        // not JSON, not an object, or no "funcname": no answer
        Command,        // funcname and parameters for the dispatcher
        MoveWindow,     // "moveWindow..." with the integers read after it
        MinimizeWindow, // {"funcname":"minisizeWindow"}
        MaximizeWindow, // {"funcname":"maxsizeWindow"}
        RestoreWindow,  // {"funcname":"restoreWindow"}
    };

    Kind kind = Kind::Dropped;
    QString funcname;
    RequestParameters parameters;
    // For MoveWindow: the integers read; the window moves only when there are exactly four
    // (dx, dy, width, height).
    QList<int> moveValues;
};

ParsedRequest parseRequest(const QString &text);

// The integers of a "moveWindow" text: read from the byte after the one that follows the
// word, like a C++ input stream reads ints, each optionally followed by one ",". Stops at the
// first read that fails. Exposed for tests.
QList<int> readMoveWindowValues(const QByteArray &utf8Text);

} // namespace vorn
