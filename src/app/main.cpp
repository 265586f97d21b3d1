#include "app/tform1.h"
#include "dialogs/programicon.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(programPicture()));
    TForm1 form;
    form.show();
    return app.exec();
}
