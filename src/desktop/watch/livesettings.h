#pragma once

#include "common/expected.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <variant>

// The watching settings kept in "skirvane.conf" (INI). Each is declared
// once in declarations(): the file, the checks and the Alerts dialog all
// go through those declarations.
struct LiveSettings
{
    int refreshSeconds = 0;
    bool alertsEnabled = false;
    int minPlayers = 0;
    QStringList names; // matched case-insensitively against whole player names

    // Every setting at its declared default.
    LiveSettings();
    bool operator==(const LiveSettings &) const = default;

    // The file's name, in the user's configuration folder.
    static QString fileName();

    // The settings in the file. Missing keys read as their defaults, and so
    // do values that are not right, each named in `ignored`. Anything but a
    // regular file at `path` (a named pipe would hold the program) is not
    // opened: a fault naming it.
    struct Loaded;
    static common::Expected<Loaded> load(const QString &path);

    // Writes every setting, keeping the file's other keys, through a new file
    // that takes the old one's place: the file is written whole or not at all.
    common::Expected<common::Done> save(const QString &path) const;
};

struct LiveSettings::Loaded
{
    LiveSettings settings;
    QList<common::Fault> ignored;
};

// One setting, declared once as KConfig's .kcfg declares an entry: its key,
// its type with default and range, and the words the dialog and the
// messages use.
struct SettingDeclaration
{
    // A whole number from `low` to `high`.
    struct Whole
    {
        int LiveSettings::*field;
        int fallback;
        int low;
        int high;
    };
    // true or false; the dialog shows it as a check box with `caption`.
    struct Flag
    {
        bool LiveSettings::*field;
        bool fallback;
        QString caption;
    };
    // Names separated by commas: trimmed, the empty dropped, each once in any
    // case; empty by default.
    struct Names
    {
        QStringList LiveSettings::*field;
        int most;
        int longest;
    };

    QString key;   // "section/name"; the name is the dialog field's object name too
    QString label; // the dialog's
    QString what;  // how a message names the value
    std::variant<Whole, Flag, Names> type;
    QString placeholder = {}; // the dialog's hint in an empty field

    QString name() const { return key.section(QLatin1Char('/'), 1); }
    // The value as the file and the dialog hold it.
    QString text(const LiveSettings &settings) const;
    // Sets the value from its text, or says what is wrong with the text.
    common::Expected<common::Done> read(const QString &text, LiveSettings &settings) const;
    void reset(LiveSettings &settings) const;

    static const QList<SettingDeclaration> &all();
};
