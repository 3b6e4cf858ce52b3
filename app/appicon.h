// The application's icon, from the images compiled into the program.
#pragma once

#include <QIcon>

// The icon with its four images: 32, 48, 128 and 256 pixels square.
QIcon RecasorIcon();
