#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace jotbox::testing {

// A private X server for one test: started with -displayfd so parallel runs
// never pick the same display, stopped when the object goes.
class Xvfb {
public:
    explicit Xvfb(const QString& screen = QStringLiteral("1280x800x24"));
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool isRunning() const { return !m_display.isEmpty(); }
    // ":N"
    QByteArray display() const { return m_display; }

private:
    pid_t m_pid = -1;
    QByteArray m_display;
};

} // namespace jotbox::testing
