#pragma once

#include "platform/LoginItem.h"

// Start at login the freedesktop way: a desktop entry named pellamor.desktop in the user's autostart
// folder, which every XDG-compliant session starts at login.
class AutostartLoginItem : public LoginItem
{
public:
    // `configFolder` is $XDG_CONFIG_HOME (~/.config when unset); `program` is what the entry starts,
    // the running executable unless given.
    explicit AutostartLoginItem(const QString& configFolder = defaultConfigFolder(), const QString& program = {});

    static QString defaultConfigFolder();
    // The program as the Exec key of a desktop entry holds it: always quoted, with the escapes that
    // quoting and the string value each need.
    static QString execValue(const QString& program);

    QString fileName() const { return m_fileName; }
    QString program() const { return m_program; }

    Status status() const override;
    Result registerItem() override;
    Result unregisterItem() override;

private:
    QString m_fileName;
    QString m_program;
};
