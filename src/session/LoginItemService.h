#pragma once

#include <QString>

namespace jotbox {

// Starting Jotbox when the user logs in.
class LoginItemService {
public:
    enum Status { notRegistered = 0, enabled = 1 };

    virtual ~LoginItemService() = default;
    virtual Status status() const = 0;
    // False when the change could not be made; callers drop the failure.
    virtual bool registerItem() = 0;
    virtual bool unregisterItem() = 0;
};

// An XDG autostart entry, "jotbox.desktop" in $XDG_CONFIG_HOME/autostart.
class XdgAutostartLoginItem final : public LoginItemService {
public:
    // Empty arguments mean the user's autostart folder and the running program
    // (the AppImage when one is running).
    explicit XdgAutostartLoginItem(QString autostartDirectory = {}, QString executable = {});

    QString entryPath() const;
    Status status() const override;
    bool registerItem() override;
    bool unregisterItem() override;

    // The Exec value for a program path, quoted and escaped as desktop entries require.
    static QString execValue(const QString& program);

private:
    QString m_directory;
    QString m_executable;
};

} // namespace jotbox
