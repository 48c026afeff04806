#include "favourites/favouritesfile.h"

#include "favourites/codepage1252.h"

namespace FavouritesFile {

QString fileName()
{
    return QStringLiteral("ut3servers.ini");
}

QString section()
{
    return QStringLiteral("SERVER");
}

const QStringList &keys()
{
    static const QStringList all = [] {
        const QStringList slotKeys = {QStringLiteral("ServerName"), QStringLiteral("ServerIP"),
                                      QStringLiteral("ServerPort"), QStringLiteral("Serverwport")};
        QStringList list;
        list.reserve(KeyCount);
        for (int slot = 1; slot <= SlotCount; ++slot) {
            const QString suffix = slot == 1 ? QString() : QString::number(slot);
            for (const QString &key : slotKeys)
                list.append(key + suffix);
        }
        return list;
    }();
    return all;
}

QList<ProfileKey> profileKeys()
{
    QList<ProfileKey> list;
    list.reserve(KeyCount);
    for (const QString &key : keys())
        list.append({section(), key});
    return list;
}

QString iniPath(const QString &executableFolder)
{
    return executableFolder + QLatin1Char('/') + fileName();
}

QByteArray saveText(const QStringList &values24)
{
    Q_ASSERT(values24.size() == KeyCount);
    QString text = QLatin1Char('[') + section() + QLatin1String("]\r\n");
    for (qsizetype i = 0; i < KeyCount; ++i)
        text += keys().at(i) + QLatin1Char('=') + values24.value(i) + QLatin1String("\r\n");
    return CodePage1252::encode(text);
}

QStringList values(const ProfileReader &file)
{
    QStringList list;
    list.reserve(KeyCount);
    for (const QString &key : keys())
        list.append(file.value(section(), key));
    return list;
}

}
