#pragma once

#include <QDirIterator>
#include <QFile>
#include <QString>

#include <cstdlib>
#include <unistd.h>

namespace jotbox::testing {

// Root passes every permission check; to meet a read-only folder the test
// acts as an ordinary user for a while, on files it has handed over.
class ActingAsNobody {
public:
    static constexpr uid_t kNobody = 65534;

    explicit ActingAsNobody(const QString& tree) : m_active(::geteuid() == 0) {
        if (!m_active)
            return;
        QDirIterator it(tree, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        ::chown(QFile::encodeName(tree).constData(), kNobody, kNobody);
        while (it.hasNext())
            ::lchown(QFile::encodeName(it.next()).constData(), kNobody, kNobody);
        m_active = ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
    }
    ~ActingAsNobody() {
        if (m_active && (::seteuid(0) != 0 || ::setegid(0) != 0))
            std::abort(); // the rest of the run would be wrong
    }

private:
    bool m_active;
};

} // namespace jotbox::testing
