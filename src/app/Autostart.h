#pragma once

#include <QString>

namespace telvanto::app {

// Starting the program at login: an XDG autostart entry. Its state is the file itself, read
// afresh on every question, so a change made elsewhere (a settings panel, the user) shows.
// Registering and unregistering never fail loudly; the file's state is the answer either way.
class Autostart {
public:
    static constexpr const char* fileName = "telvanto.desktop";

    // $XDG_CONFIG_HOME/autostart, else ~/.config/autostart.
    static QString defaultDirectory();

    // program: the absolute path the entry starts.
    Autostart(QString directory, QString program);

    QString filePath() const;
    // Registered: the entry is there and the desktop has not been told to skip it.
    bool isEnabled() const;
    void setEnabled(bool enabled);

    // The entry's text.
    QString entry() const;
    // One argument of an Exec line, quoted and escaped as desktop entries require.
    static QString execArgument(const QString& argument);
    // Whether an entry's text says it is on: a [Desktop Entry] group, not Hidden, not
    // X-GNOME-Autostart-enabled=false.
    static bool entryEnabled(const QString& text);

private:
    QString directory_;
    QString program_;
};

} // namespace telvanto::app
