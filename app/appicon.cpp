// The application's icon; the images are drawn by scripts/make-icons.
#include "appicon.h"

QIcon RecasorIcon()
{
    QIcon icon;
    for (const int size : {32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/recasor-%1.png").arg(size), QSize(size, size));
    return icon;
}
