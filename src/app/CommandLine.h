#pragma once

#include "app/Command.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace jotbox {

// What `jotbox` was asked on its command line.
struct CommandLine {
    // refuse: a usage error (exit 2); refuseText: text no note may hold (exit 1).
    enum class Action { run, help, version, startedByBus, refuse, refuseText };
    Action action = Action::run;
    Command command;
    bool textFromInput = false; // TEXT was "-": standard input, whole
    QString error;              // why it was refused

    // The arguments after the program's name, as the bytes they came as.
    static CommandLine parse(const QList<QByteArray>& arguments);
    static QString usage(const QString& notesFile);
    // Bytes as note text: valid UTF-8 without a NUL byte, or none (`why` says).
    static std::optional<QString> decodeText(const QByteArray& bytes, QString* why);
};

} // namespace jotbox
