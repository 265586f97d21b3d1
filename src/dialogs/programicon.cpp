#include "dialogs/programicon.h"

#include "dialogs/programicon.xpm"

QPixmap programPicture()
{
    return QPixmap(morvane_xpm);
}
