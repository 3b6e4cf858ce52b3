// How the journal keeps a chunk's lists of texts on disk. Each list is joined by a delimiter;
// identities and old values are kept as UTF-8. New values are kept as what sets them apart from
// the old ones: a case rule keeps a text's length and changes a few of its characters, so a
// bit per character that says which changed, and the changed characters, give the new values
// back exactly in about half the space. Lists of new values that are not like that are kept
// whole.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace JournalPacking {

QByteArray PackTexts(const QString &joined);
QString UnpackTexts(const QByteArray &packed);

QByteArray PackNews(const QString &oldsJoined, const QString &newsJoined);
// None when the packed data does not fit the old values (a damaged file).
std::optional<QString> UnpackNews(const QString &oldsJoined, const QByteArray &packed);

} // namespace JournalPacking
