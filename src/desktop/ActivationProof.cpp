#include "desktop/ActivationProof.h"

#include <QtGlobal>

namespace jotbox {

std::uint32_t ActivationProof::time() const {
    const qsizetype at = startupId.lastIndexOf(QLatin1String("_TIME"));
    if (at < 0)
        return 0;
    bool ok = false;
    const qulonglong time = QStringView(startupId).mid(at + 5).toULongLong(&ok);
    return ok && time <= 0xffffffffULL ? static_cast<std::uint32_t>(time) : 0;
}

ActivationProof ActivationProof::takeFromEnvironment() {
    ActivationProof proof{qEnvironmentVariable("XDG_ACTIVATION_TOKEN"),
                          qEnvironmentVariable("DESKTOP_STARTUP_ID")};
    qunsetenv("XDG_ACTIVATION_TOKEN");
    qunsetenv("DESKTOP_STARTUP_ID");
    return proof;
}

} // namespace jotbox
