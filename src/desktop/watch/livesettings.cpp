#include "watch/livesettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

namespace {

const QString RefreshKey = QStringLiteral("live/refreshSeconds");
const QString EnabledKey = QStringLiteral("alerts/enabled");
const QString MinPlayersKey = QStringLiteral("alerts/minPlayers");
const QString NamesKey = QStringLiteral("alerts/names");

std::optional<int> wholeIn(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

QString outOfRange(const QString &what, const QString &text, int low, int high)
{
    return QStringLiteral("%1 must be a whole number from %2 to %3; it was \"%4\".")
        .arg(what)
        .arg(low)
        .arg(high)
        .arg(text);
}

std::variant<QStringList, QString> namesFrom(const QString &text)
{
    QStringList names;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QString name = part.trimmed();
        if (name.isEmpty())
            continue;
        if (name.size() > LiveSettings::MaxNameLength)
            return QStringLiteral("A watched name may have at most %1 characters; \"%2…\" has %3.")
                .arg(LiveSettings::MaxNameLength)
                .arg(name.left(20))
                .arg(name.size());
        if (!names.contains(name, Qt::CaseInsensitive))
            names.append(name);
    }
    if (names.size() > LiveSettings::MaxNames)
        return QStringLiteral("At most %1 names can be watched; there were %2.")
            .arg(LiveSettings::MaxNames)
            .arg(names.size());
    return names;
}

}

QString LiveSettings::fileName()
{
    return QStringLiteral("skirvane.conf");
}

std::variant<LiveSettings, QString> LiveSettings::fromTexts(const QString &refreshSeconds, bool alertsEnabled,
                                                            const QString &minPlayers, const QString &names)
{
    LiveSettings settings;
    const std::optional<int> refresh = wholeIn(refreshSeconds, MinRefreshSeconds, MaxRefreshSeconds);
    if (!refresh)
        return outOfRange(QStringLiteral("The refresh time in seconds"), refreshSeconds, MinRefreshSeconds,
                          MaxRefreshSeconds);
    const std::optional<int> least = wholeIn(minPlayers, 1, MaxPlayers);
    if (!least)
        return outOfRange(QStringLiteral("The number of players to alert at"), minPlayers, 1, MaxPlayers);
    std::variant<QStringList, QString> list = namesFrom(names);
    if (const QString *problem = std::get_if<QString>(&list))
        return *problem;
    settings.refreshSeconds = *refresh;
    settings.alertsEnabled = alertsEnabled;
    settings.minPlayers = *least;
    settings.names = std::get<QStringList>(list);
    return settings;
}

LiveSettings LiveSettings::load(const QString &path, QStringList *problems)
{
    LiveSettings settings;
    const QSettings file(path, QSettings::IniFormat);
    const auto text = [&](const QString &key) -> std::optional<QString> {
        const QVariant value = file.value(key);
        // Unquoted commas read back as a list.
        return value.isNull() ? std::nullopt : std::optional(value.toStringList().join(QLatin1Char(',')));
    };
    const auto note = [&](const QString &key, const QString &problem) {
        if (problems)
            problems->append(key + QStringLiteral(": ") + problem);
    };
    if (const std::optional<QString> refresh = text(RefreshKey)) {
        if (const std::optional<int> value = wholeIn(*refresh, MinRefreshSeconds, MaxRefreshSeconds))
            settings.refreshSeconds = *value;
        else
            note(RefreshKey, outOfRange(QStringLiteral("The refresh time in seconds"), *refresh, MinRefreshSeconds,
                                        MaxRefreshSeconds));
    }
    if (const std::optional<QString> enabled = text(EnabledKey)) {
        const QString word = enabled->trimmed().toLower();
        if (word == QLatin1String("true") || word == QLatin1String("false"))
            settings.alertsEnabled = word == QLatin1String("true");
        else
            note(EnabledKey, QStringLiteral("It must be true or false; it was \"%1\".").arg(*enabled));
    }
    if (const std::optional<QString> least = text(MinPlayersKey)) {
        if (const std::optional<int> value = wholeIn(*least, 1, MaxPlayers))
            settings.minPlayers = *value;
        else
            note(MinPlayersKey, outOfRange(QStringLiteral("The number of players to alert at"), *least, 1, MaxPlayers));
    }
    if (const std::optional<QString> names = text(NamesKey)) {
        std::variant<QStringList, QString> list = namesFrom(*names);
        if (const QString *problem = std::get_if<QString>(&list))
            note(NamesKey, *problem);
        else
            settings.names = std::get<QStringList>(list);
    }
    return settings;
}

common::Expected<common::Done> LiveSettings::save(const QString &path) const
{
    // QSettings lays out the text in a scratch folder; the safe writer puts it
    // in place.
    const QTemporaryDir scratch;
    if (!scratch.isValid())
        return common::Fault{QStringLiteral("Cannot save the settings: no temporary folder (%1).")
                                 .arg(scratch.errorString())
                                 .toStdString()};
    const QString draft = scratch.filePath(fileName());
    {
        QSettings text(draft, QSettings::IniFormat);
        if (QFile::exists(path)) {
            const QSettings old(path, QSettings::IniFormat);
            if (old.status() == QSettings::NoError)
                for (const QString &key : old.allKeys())
                    text.setValue(key, old.value(key));
        }
        text.setValue(RefreshKey, refreshSeconds);
        text.setValue(EnabledKey, alertsEnabled);
        text.setValue(MinPlayersKey, minPlayers);
        text.setValue(NamesKey, names.join(QLatin1Char(',')));
        text.sync();
        if (text.status() != QSettings::NoError)
            return common::Fault{
                QStringLiteral("Cannot save the settings: the draft %1 could not be written.").arg(draft).toStdString()};
    }
    // A failure to make the folder is explained by the write that follows.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile made(draft);
    if (!made.open(QIODevice::ReadOnly))
        return common::Fault{QStringLiteral("Cannot save the settings: %1").arg(made.errorString()).toStdString()};
    return FileWriter::replaceFile(path, made.readAll());
}
