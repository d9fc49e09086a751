#include "app/CommandLine.h"

#include <QStringDecoder>

namespace jotbox {

namespace {

CommandLine refused(const QString& why, CommandLine::Action action = CommandLine::Action::refuse) {
    CommandLine line;
    line.action = action;
    line.error = why;
    return line;
}

} // namespace

CommandLine CommandLine::parse(const QList<QByteArray>& arguments) {
    // Options may stand anywhere; after "--" everything is text.
    QList<QByteArray> words;
    bool literal = false;
    for (const QByteArray& a : arguments) {
        if (literal || a == "-" || !a.startsWith('-')) {
            words.append(a);
        } else if (a == "--") {
            literal = true;
        } else if (a == "--help" || a == "-h" || a == "--version" || a == "--dbus-activated") {
            if (arguments.size() != 1)
                return refused(QStringLiteral("%1 stands alone.").arg(QString::fromUtf8(a)));
            CommandLine line;
            line.action = a == "--version"          ? Action::version
                          : a == "--dbus-activated" ? Action::startedByBus
                                                    : Action::help;
            return line;
        } else {
            return refused(QStringLiteral("Unknown option %1.").arg(QString::fromUtf8(a)));
        }
    }
    CommandLine line;
    if (words.isEmpty())
        return line;
    const QByteArray verb = words.takeFirst();
    const auto takesAtMost = [&](int n) { return words.size() <= n; };
    using Kind = Command::Kind;
    if (verb == "toggle" || verb == "show" || verb == "hide") {
        line.command.kind = verb == "toggle" ? Kind::toggle
                            : verb == "show" ? Kind::show
                                             : Kind::hide;
        if (!takesAtMost(0))
            return refused(QStringLiteral("%1 takes nothing more.").arg(QString::fromUtf8(verb)));
    } else if (verb == "new" || verb == "append") {
        line.command.kind = verb == "new" ? Kind::newNote : Kind::append;
        if (!takesAtMost(1) || (verb == "append" && words.isEmpty()))
            return refused(QStringLiteral("%1 takes %2.")
                               .arg(QString::fromUtf8(verb),
                                    verb == "new" ? QStringLiteral("one TEXT, or none")
                                                  : QStringLiteral("one TEXT")));
        if (!words.isEmpty()) {
            line.textFromInput = words.first() == "-";
            QString why;
            line.command.text = line.textFromInput
                                    ? QString()
                                    : decodeText(words.first(), &why).value_or(QString());
            if (!why.isEmpty())
                return refused(why, Action::refuseText);
        }
    } else if (verb == "print") {
        line.command.kind = Kind::print;
        bool ok = true;
        if (!words.isEmpty())
            line.command.note = words.first().toLongLong(&ok);
        if (!takesAtMost(1) || !ok || line.command.note.value_or(0) < 0)
            return refused(QStringLiteral("print takes a note's number, 1 being the first tab."));
    } else {
        return refused(QStringLiteral("Unknown command %1.").arg(QString::fromUtf8(verb)));
    }
    return line;
}

std::optional<QString> CommandLine::decodeText(const QByteArray& bytes, QString* why) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        *why = QStringLiteral("The text is not valid UTF-8; nothing was added.");
        return std::nullopt;
    }
    if (bytes.contains('\0')) {
        *why = QStringLiteral("The text holds a NUL byte; nothing was added.");
        return std::nullopt;
    }
    return text;
}

QString CommandLine::usage(const QString& notesFile) {
    return QStringLiteral(
               "Usage: jotbox [COMMAND]\n"
               "Plain-text notes in the tray, one shortcut away.\n\n"
               "Commands:\n"
               "  (none)          start Jotbox, or show or hide the running one's panel\n"
               "  toggle          show or hide the panel, starting Jotbox if it is not running\n"
               "  show            show the panel, starting Jotbox if it is not running\n"
               "  hide            hide the panel\n"
               "  new [TEXT | -]  add a note holding TEXT (-: standard input) after the others;\n"
               "                  with no TEXT, show the panel on a new empty note\n"
               "  append TEXT | - add TEXT as a new line at the end of the active note\n"
               "  print [N]       write the active note, or note N (1 is the first tab), to\n"
               "                  standard output\n\n"
               "Options:\n"
               "  -h, --help      show this help\n"
               "  --version       show the version\n\n"
               "new TEXT and append return once the change is saved; with no Jotbox running,\n"
               "new, append and print work on the notes file and need no display.\n"
               "Ctrl+Alt+N or a click on the tray icon shows and hides the notes panel.\n"
               "Notes are saved to %1\n")
        .arg(notesFile);
}

} // namespace jotbox
