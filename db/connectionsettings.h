// The five connection values, each exactly as the user typed it.
#pragma once

#include <QString>

struct ConnectionSettings {
    QString server;
    QString port;
    QString user;
    QString password;
    QString database;
};
