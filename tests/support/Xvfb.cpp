#include "support/Xvfb.h"

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace jotbox::testing {

Xvfb::Xvfb(const QString& screen) {
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    const QByteArray fd = QByteArray::number(fds[1]);
    const QByteArray geometry = screen.toLatin1();
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(fds[0]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", geometry.constData(),
                 "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    // The server writes its display number once it accepts connections.
    QByteArray number;
    pollfd p{fds[0], POLLIN, 0};
    while (m_pid > 0 && ::poll(&p, 1, 10000) > 0) {
        char buf[16];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        number.append(buf, n);
        if (number.endsWith('\n'))
            break;
    }
    ::close(fds[0]);
    number = number.trimmed();
    if (!number.isEmpty())
        m_display = ":" + number;
}

Xvfb::~Xvfb() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

} // namespace jotbox::testing
