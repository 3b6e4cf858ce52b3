#include "keyring/keyringaccount.h"

#include <QUrl>

namespace {

QString part(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

QString KeyringAccount::key() const
{
    return QStringLiteral("postgresql://") + part(user) + u'@' + part(server) + u':' + part(port) +
           u'/' + part(database);
}
