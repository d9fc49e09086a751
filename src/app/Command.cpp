#include "app/Command.h"

#include "store/NoteStore.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <array>

namespace jotbox {

namespace {

constexpr std::array<const char*, 7> kKinds{"activate", "toggle", "show", "hide",
                                            "new",      "append", "print"};

std::optional<Command::Kind> kindNamed(const QString& name) {
    for (std::size_t i = 0; i < kKinds.size(); ++i)
        if (name == QLatin1String(kKinds[i]))
            return static_cast<Command::Kind>(i);
    return std::nullopt;
}

} // namespace

bool isNoteText(const QString& text) {
    return !text.contains(QChar(u'\0'));
}

Outcome performOnNotes(NoteStore& store, const Command& command) {
    if (command.text && !isNoteText(*command.text))
        return {1, {}, QStringLiteral("The text holds a NUL byte; nothing was added.")};
    switch (command.kind) {
    case Command::Kind::newNote:
        store.addNote(command.text.value_or(QString()));
        break;
    case Command::Kind::append:
        store.appendLine(store.activeTabIndex(), command.text.value_or(QString()));
        break;
    case Command::Kind::print: {
        const qint64 count = store.notes().size();
        const qint64 index = command.note ? *command.note - 1 : store.activeTabIndex();
        if (index < 0 || index >= count)
            return {1,
                    {},
                    QStringLiteral("There is no note %1: Jotbox has %2.")
                        .arg(command.note.value_or(0))
                        .arg(count == 1 ? QStringLiteral("one") : QString::number(count))};
        return {0, store.notes()[index].content.toUtf8(), {}};
    }
    default:
        return {2, {}, QStringLiteral("That command does not change notes.")};
    }
    if (!store.flush())
        return {1,
                {},
                QStringLiteral("Could not save %1; the change was not made.")
                    .arg(store.persistence()->filePath())};
    return {};
}

QByteArray encodeRequest(const Command& command, const ActivationProof& proof) {
    QJsonObject o{
        {QStringLiteral("command"), QLatin1String(kKinds[static_cast<std::size_t>(command.kind)])}};
    if (command.text)
        o.insert(QStringLiteral("text"), *command.text);
    if (command.note)
        o.insert(QStringLiteral("note"), *command.note);
    if (!proof.token.isEmpty())
        o.insert(QStringLiteral("token"), proof.token);
    if (!proof.startupId.isEmpty())
        o.insert(QStringLiteral("startupId"), proof.startupId);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<std::pair<Command, ActivationProof>> decodeRequest(const QByteArray& line) {
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    const auto kind = kindNamed(o.value(QStringLiteral("command")).toString());
    if (!kind)
        return std::nullopt;
    Command command{*kind, std::nullopt, std::nullopt};
    if (const QJsonValue text = o.value(QStringLiteral("text")); text.isString())
        command.text = text.toString();
    if (const QJsonValue note = o.value(QStringLiteral("note")); note.isDouble())
        command.note = note.toInteger();
    if (command.kind == Command::Kind::append && !command.text)
        return std::nullopt;
    return std::pair{command, ActivationProof{o.value(QStringLiteral("token")).toString(),
                                              o.value(QStringLiteral("startupId")).toString()}};
}

QByteArray encodeOutcome(const Outcome& outcome) {
    return QJsonDocument(QJsonObject{{QStringLiteral("exit"), outcome.exitCode},
                                     {QStringLiteral("output"), QString::fromUtf8(outcome.output)},
                                     {QStringLiteral("error"), outcome.error}})
        .toJson(QJsonDocument::Compact);
}

std::optional<Outcome> decodeOutcome(const QByteArray& line) {
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    if (!o.value(QStringLiteral("exit")).isDouble())
        return std::nullopt;
    return Outcome{o.value(QStringLiteral("exit")).toInt(),
                   o.value(QStringLiteral("output")).toString().toUtf8(),
                   o.value(QStringLiteral("error")).toString()};
}

} // namespace jotbox
