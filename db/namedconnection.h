// A QtSql connection under a name of its own, added with this object and removed with it: an
// owner whose constructor throws part way leaves no connection behind.
#pragma once

#include <QSqlDatabase>
#include <QString>

class NamedConnection
{
public:
    // A connection of the driver, named by the prefix and a number no other connection has.
    // Whether the driver is there, the caller sees by isValid().
    NamedConnection(const QString &driver, const QString &prefix);
    ~NamedConnection();

    NamedConnection(const NamedConnection &) = delete;
    NamedConnection &operator=(const NamedConnection &) = delete;

    QSqlDatabase &operator*() { return db_; }
    QSqlDatabase *operator->() { return &db_; }

private:
    QString name_;
    QSqlDatabase db_;
};
