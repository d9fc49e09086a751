#pragma once

#include <QFile>

namespace jotbox {

// The notes, and what this machine keeps of them, are the user's alone.
inline constexpr QFile::Permissions kPrivateFolder =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
inline constexpr QFile::Permissions kPrivateFile = QFile::ReadOwner | QFile::WriteOwner;

} // namespace jotbox
