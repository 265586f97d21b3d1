#include "app/startarguments.h"
#include "app/tform1.h"
#include "dialogs/programicon.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

namespace {

int answer(const StartArguments& start)
{
    const QString text = start.help ? startUsage() : startVersionLine() + u'\n';
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // --help and --version are answered before the window system is reached: a terminal without
    // a display gets them too, and so does the build, which makes the man page from them.
    QStringList given;
    for (int i = 0; i < argc; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    if (const auto early = parseStartArguments(given); early.ok() && (early->help || early->version))
        return answer(*early);

    QApplication app(argc, argv);
    const auto start = parseStartArguments(QApplication::arguments());
    if (!start.ok()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kWindowProgram,
                     start.error().message.c_str(), kWindowProgram);
        return 2;
    }
    if (start->help || start->version)
        return answer(*start);

    // The installed desktop entry and icon; a build tree falls back to the program's own picture.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.fennwick.Morvane"));
    app.setWindowIcon(QIcon::fromTheme(QStringLiteral("morvane"), QIcon(programPicture())));
    TForm1 form;
    form.show();
    if (!start->file.isEmpty())
        form.openAtStart(start->file);
    return app.exec();
}
