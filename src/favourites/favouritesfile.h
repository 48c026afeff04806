#pragma once

#include "favourites/profilereader.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The favourites file "ut3servers.ini": section [SERVER] with four keys for
// each of the six slots, in slot order and within a slot name, address,
// query port, web port. The keys are also the names of the favourites
// window's fields.
namespace FavouritesFile {

inline constexpr int SlotCount = 6;
inline constexpr int KeysPerSlot = 4;
inline constexpr int KeyCount = SlotCount * KeysPerSlot;

QString fileName();
QString section();

// "ServerName", "ServerIP", "ServerPort", "Serverwport", then the same with 2..6 appended.
const QStringList &keys();

// The 24 keys of section(), for ProfileReader::read().
QList<ProfileKey> profileKeys();

// executableFolder + "/" + fileName(), joined as they are: a folder that
// already ends in "/" gives "//".
QString iniPath(const QString &executableFolder);

// "[SERVER]" and one "key=value" line per key in keys() order, each line
// ended by CR LF, values unchanged, in Windows-1252.
// Precondition: values24 holds KeyCount texts, in keys() order; missing ones are written empty.
QByteArray saveText(const QStringList &values24);

// The 24 values in keys() order, read by the profile-file rules.
QStringList values(const ProfileReader &file);

}
