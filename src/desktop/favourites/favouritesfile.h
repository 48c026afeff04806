#pragma once

#include "favourites/filewriter.h"
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
// Far beyond any file of six servers; a larger one is refused, not read.
inline constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;

QString fileName();
QString section();

// "ServerName", "ServerIP", "ServerPort", "Serverwport", then the same with 2..6 appended.
const QStringList &keys();

// The 24 keys of section(), for ProfileReader::read().
QList<ProfileKey> profileKeys();

// folder + "/" + fileName(), joined as they are: a folder that already ends
// in "/" gives "//".
QString iniPath(const QString &folder);

// The user's folder for the file in an installed program:
// "$XDG_CONFIG_HOME/skirvane", or "~/.config/skirvane" when that variable
// is unset, empty or not an absolute path.
QString configFolder();

// "[SERVER]" and one "key=value" line per key in keys() order, each line
// ended by CR LF, values unchanged: in Windows-1252 when every character
// fits it, else in UTF-8 behind a byte-order mark.
// Precondition: values24 holds KeyCount texts without line breaks, in keys() order.
QByteArray saveText(const QStringList &values24);

// The 24 values in keys() order, read by the profile-file rules.
QStringList values(const ProfileReader &file);

// The 24 values in keys() order, read once. A missing file reads as all
// empty; a file that cannot be read, a directory, a named pipe or device,
// and a file over MaxFileBytes are a fault naming the file and the reason,
// found without waiting on anything.
common::Expected<QStringList> load(const QString &path);

// Writes the 24 values (see saveText()), making the file's folder when it
// is missing. A value holding a line break is refused, naming its field,
// and nothing is written.
common::Expected<common::Done> save(const QString &path, const QStringList &values24);

}
