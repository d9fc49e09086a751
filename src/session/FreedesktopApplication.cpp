#include "session/FreedesktopApplication.h"

#include <QDBusError>
#include <QMetaType>

namespace jotbox {

namespace {

QString stringIn(const QVariantMap& map, const QString& key) {
    const QVariant value = map.value(key);
    return value.metaType() == QMetaType::fromType<QString>() ? value.toString() : QString();
}

} // namespace

FreedesktopApplication::FreedesktopApplication(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {}

bool FreedesktopApplication::publish(QDBusConnection bus) {
    if (!bus.isConnected() || !bus.registerObject(QString::fromLatin1(kPath), this,
                                                  QDBusConnection::ExportScriptableSlots))
        return false;
    return bus.registerService(QString::fromLatin1(kName));
}

void FreedesktopApplication::Activate(const QVariantMap& platformData) {
    run(QStringLiteral("activate"), std::nullopt, platformData);
}

// An action's parameter is at most one value: new-note's text.
void FreedesktopApplication::ActivateAction(const QString& action, const QVariantList& parameter,
                                            const QVariantMap& platformData) {
    std::optional<QString> text;
    if (parameter.size() > 1 ||
        (parameter.size() == 1 && parameter[0].metaType() != QMetaType::fromType<QString>())) {
        sendErrorReply(QDBusError::InvalidArgs,
                       QStringLiteral("An action takes at most one parameter, a string."));
        return;
    }
    if (parameter.size() == 1)
        text = parameter[0].toString();
    run(action, text, platformData);
}

void FreedesktopApplication::run(const QString& action, const std::optional<QString>& text,
                                 const QVariantMap& platformData) {
    const ActivationProof proof{stringIn(platformData, QStringLiteral("activation-token")),
                                stringIn(platformData, QStringLiteral("desktop-startup-id"))};
    if (const auto refused = m_handler(action, text, proof))
        sendErrorReply(QDBusError::InvalidArgs, *refused);
}

} // namespace jotbox
