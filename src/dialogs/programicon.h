#pragma once
// The program's 32 x 32, 16-colour picture: the window icon, and the picture in the notice and
// the About dialog.

#include <QPixmap>

QPixmap programPicture();
