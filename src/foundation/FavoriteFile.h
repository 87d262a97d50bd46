#pragma once

#include "foundation/models/Favrite_Data.h"
#include "foundation/models/FavriteUserAndContents.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// "favorite.dat", the favourites file the account service keeps per account, and the zip it
// travels in. The file is one small XML element: the sync row's version, changed mark and time as
// attributes of "main", one "item" child per favourite:
//
//   <main UserAccount="..." favritteVersion="3" bModified="0" flastUpdateTime="1700000000">
//     <item newsID="..." newsTitle="..." ffavritetime="1700000123"/></main>
//
// Titles stand in the file as characters (Chinese text, not character references). Files of the
// earlier JSON form (the same names as keys, the favourites under "items") are still read, so a
// copy uploaded before the change comes down whole.
namespace FavoriteFile {

inline constexpr auto kFileName = "favorite.dat";  // the one entry of the zip

QByteArray write(const FavriteUserAndContents& header, const QList<Favrite_DataPtr>& favourites);

struct Contents
{
    FavriteUserAndContents header;
    QList<Favrite_DataPtr> favourites;
};
// The header and favourites of a file of either form, the favourites given to account; nothing
// when the bytes are neither.
std::optional<Contents> read(const QByteArray& bytes, const QString& account);

// The zip holding the file as its one entry / the file out of such a zip; empty when the zip
// cannot be made or holds no such file.
QByteArray zip(const QByteArray& file);
QByteArray unzip(const QByteArray& zip);

}  // namespace FavoriteFile
