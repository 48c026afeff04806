#include "watch/livesettings.h"

#include "favourites/filesystem.h"
#include "favourites/filewriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

namespace {

template<class... Ways>
struct Overloaded : Ways...
{
    using Ways::operator()...;
};

common::Fault fault(const QString &message)
{
    return common::Fault{message.toStdString()};
}

}

const QList<SettingDeclaration> &SettingDeclaration::all()
{
    static const QList<SettingDeclaration> declared = {
        {QStringLiteral("live/refreshSeconds"), QStringLiteral("Refresh every (seconds):"),
         QStringLiteral("The refresh time in seconds"), Whole{&LiveSettings::refreshSeconds, 60, 10, 24 * 60 * 60}},
        {QStringLiteral("alerts/enabled"), QStringLiteral("Alerts:"), QStringLiteral("Whether to alert"),
         Flag{&LiveSettings::alertsEnabled, true, QStringLiteral("Notify me")}},
        // 64: the most a UT3 server holds.
        {QStringLiteral("alerts/minPlayers"), QStringLiteral("When a favourite has at least (players):"),
         QStringLiteral("The number of players to alert at"), Whole{&LiveSettings::minPlayers, 2, 1, 64}},
        {QStringLiteral("alerts/names"), QStringLiteral("When one of these plays anywhere:"),
         QStringLiteral("The watched names"), Names{&LiveSettings::names, 100, 64},
         QStringLiteral("names separated by commas")},
    };
    return declared;
}

QString SettingDeclaration::text(const LiveSettings &settings) const
{
    return std::visit(Overloaded{
                          [&](const Whole &whole) { return QString::number(settings.*whole.field); },
                          [&](const Flag &flag) {
                              return settings.*flag.field ? QStringLiteral("true") : QStringLiteral("false");
                          },
                          [&](const Names &names) { return (settings.*names.field).join(QStringLiteral(", ")); },
                      },
                      type);
}

common::Expected<common::Done> SettingDeclaration::read(const QString &text, LiveSettings &settings) const
{
    return std::visit(
        Overloaded{
            [&](const Whole &whole) -> common::Expected<common::Done> {
                bool ok = false;
                const int value = text.trimmed().toInt(&ok);
                if (!ok || value < whole.low || value > whole.high)
                    return fault(QStringLiteral("%1 must be a whole number from %2 to %3; it was \"%4\".")
                                     .arg(what)
                                     .arg(whole.low)
                                     .arg(whole.high)
                                     .arg(text));
                settings.*whole.field = value;
                return common::Done{};
            },
            [&](const Flag &flag) -> common::Expected<common::Done> {
                const QString word = text.trimmed().toLower();
                if (word != QLatin1String("true") && word != QLatin1String("false"))
                    return fault(QStringLiteral("%1 must be true or false; it was \"%2\".").arg(what, text));
                settings.*flag.field = word == QLatin1String("true");
                return common::Done{};
            },
            [&](const Names &rule) -> common::Expected<common::Done> {
                QStringList names;
                for (const QString &part : text.split(QLatin1Char(','))) {
                    const QString name = part.trimmed();
                    if (name.isEmpty())
                        continue;
                    if (name.size() > rule.longest)
                        return fault(QStringLiteral("A watched name may have at most %1 characters; \"%2…\" has %3.")
                                         .arg(rule.longest)
                                         .arg(name.left(20))
                                         .arg(name.size()));
                    if (!names.contains(name, Qt::CaseInsensitive))
                        names.append(name);
                }
                if (names.size() > rule.most)
                    return fault(QStringLiteral("At most %1 names can be watched; there were %2.")
                                     .arg(rule.most)
                                     .arg(names.size()));
                settings.*rule.field = names;
                return common::Done{};
            },
        },
        type);
}

void SettingDeclaration::reset(LiveSettings &settings) const
{
    std::visit(Overloaded{
                   [&](const Whole &whole) { settings.*whole.field = whole.fallback; },
                   [&](const Flag &flag) { settings.*flag.field = flag.fallback; },
                   [&](const Names &names) { (settings.*names.field).clear(); },
               },
               type);
}

LiveSettings::LiveSettings()
{
    for (const SettingDeclaration &setting : SettingDeclaration::all())
        setting.reset(*this);
}

QString LiveSettings::fileName()
{
    return QStringLiteral("skirvane.conf");
}

common::Expected<LiveSettings::Loaded> LiveSettings::load(const QString &path)
{
    // QSettings opens whatever the path names, and a named pipe would wait
    // for a writer for ever.
    if (const std::optional<QString> other = FileSystem::otherThanAFile(path))
        return common::Fault{common::FaultKind::cannotOpen,
                             QStringLiteral("Cannot read the settings file %1: it is %2, not a file")
                                 .arg(QDir::toNativeSeparators(path), *other)
                                 .toStdString()};
    Loaded loaded;
    const QSettings file(path, QSettings::IniFormat);
    for (const SettingDeclaration &setting : SettingDeclaration::all()) {
        const QVariant value = file.value(setting.key);
        if (value.isNull())
            continue;
        // Unquoted commas read back as a list.
        const common::Expected<common::Done> read =
            setting.read(value.toStringList().join(QLatin1Char(',')), loaded.settings);
        if (!read.ok())
            loaded.ignored.append(common::Fault{setting.key.toStdString() + ": " + read.fault().message});
    }
    return loaded;
}

common::Expected<common::Done> LiveSettings::save(const QString &path) const
{
    // QSettings lays out the text in a scratch folder; the safe writer puts it
    // in place.
    const QTemporaryDir scratch;
    if (!scratch.isValid())
        return fault(QStringLiteral("Cannot save the settings: no temporary folder (%1).").arg(scratch.errorString()));
    const QString draft = scratch.filePath(fileName());
    {
        QSettings text(draft, QSettings::IniFormat);
        if (!FileSystem::otherThanAFile(path) && QFile::exists(path)) {
            const QSettings old(path, QSettings::IniFormat);
            if (old.status() == QSettings::NoError)
                for (const QString &key : old.allKeys())
                    text.setValue(key, old.value(key));
        }
        for (const SettingDeclaration &setting : SettingDeclaration::all())
            text.setValue(setting.key, setting.text(*this));
        text.sync();
        if (text.status() != QSettings::NoError)
            return fault(QStringLiteral("Cannot save the settings: the draft %1 could not be written.").arg(draft));
    }
    // A failure to make the folder is explained by the write that follows.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile made(draft);
    if (!made.open(QIODevice::ReadOnly))
        return fault(QStringLiteral("Cannot save the settings: %1").arg(made.errorString()));
    return FileWriter::replaceFile(path, made.readAll());
}
