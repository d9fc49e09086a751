#pragma once

#include "desktop/ActivationProof.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace jotbox {

// Jotbox as desktops start and call applications on the session bus: the
// org.freedesktop.Application interface at /dev/jotbox/Jotbox, under the
// name dev.jotbox.Jotbox. It opens no files, so it offers no Open.
class FreedesktopApplication : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    static constexpr char kName[] = "dev.jotbox.Jotbox";
    static constexpr char kPath[] = "/dev/jotbox/Jotbox";

    // Carries out an action ("activate" for Activate) with its text, if the
    // caller gave one; returns why it could not, or nothing when it did.
    using Handler = std::function<std::optional<QString>(
        const QString& action, const std::optional<QString>& text, const ActivationProof&)>;

    explicit FreedesktopApplication(Handler handler, QObject* parent = nullptr);
    // Exports the object, then takes the name; false without a bus or the name.
    bool publish(QDBusConnection bus = QDBusConnection::sessionBus());

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);
    Q_SCRIPTABLE void ActivateAction(const QString& action, const QVariantList& parameter,
                                     const QVariantMap& platformData);

private:
    void run(const QString& action, const std::optional<QString>& text,
             const QVariantMap& platformData);

    Handler m_handler;
};

} // namespace jotbox
