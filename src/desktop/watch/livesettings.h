#pragma once

#include "favourites/filewriter.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// The watching settings kept in "skirvane.conf" (INI): live/refreshSeconds,
// alerts/enabled, alerts/minPlayers and alerts/names (names separated by
// commas).
struct LiveSettings
{
    static constexpr int MinRefreshSeconds = 10;
    static constexpr int MaxRefreshSeconds = 24 * 60 * 60;
    static constexpr int MaxPlayers = 64; // the most a UT3 server holds
    static constexpr int MaxNames = 100;
    static constexpr int MaxNameLength = 64;

    int refreshSeconds = 60;
    bool alertsEnabled = true;
    int minPlayers = 2;
    QStringList names;

    bool operator==(const LiveSettings &) const = default;

    // The file's name, in the user's configuration folder.
    static QString fileName();

    // The settings from typed texts, or a message naming the value that is
    // not right and what it must be.
    static std::variant<LiveSettings, QString> fromTexts(const QString &refreshSeconds, bool alertsEnabled,
                                                         const QString &minPlayers, const QString &names);

    // The settings in the file. Missing keys, and values that are not right,
    // read as their defaults; those values are named in `problems`.
    static LiveSettings load(const QString &path, QStringList *problems = nullptr);

    // Writes the four keys, keeping the file's other keys, through a new file
    // that takes the old one's place: the file is written whole or not at all.
    common::Expected<common::Done> save(const QString &path) const;
};
