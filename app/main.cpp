// Recasor: rewrites the letter case of the values of a PostgreSQL column.
#include <QApplication>
#include <QWidget>

#include "ui/windowhelpers.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    SetAppTitle();
    QWidget window;
    window.setWindowTitle(QStringLiteral("Recasor"));
    window.show();
    return app.exec();
}
