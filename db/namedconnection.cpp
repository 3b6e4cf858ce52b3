#include "db/namedconnection.h"

#include <QAtomicInteger>

NamedConnection::NamedConnection(const QString &driver, const QString &prefix)
{
    static QAtomicInteger<quint64> counter;
    name_ = prefix + QString::number(counter.fetchAndAddRelaxed(1));
    db_ = QSqlDatabase::addDatabase(driver, name_);
}

NamedConnection::~NamedConnection()
{
    db_.close();
    db_ = QSqlDatabase(); // QtSql removes a name only once no handle to it is left
    QSqlDatabase::removeDatabase(name_);
}
