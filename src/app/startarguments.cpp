#include "app/startarguments.h"

#include "dialogs/version.h"

#include <QCommandLineParser>
#include <QFileInfo>

morvane::Expected<StartArguments> parseStartArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    parser.addOptions({help, version});
    if (!parser.parse(arguments))
        return morvane::Error{parser.errorText().toStdString()};

    StartArguments start;
    start.help = parser.isSet(help);
    start.version = parser.isSet(version);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return morvane::Error{"one FILE at most, not " + std::to_string(files.size())};
    if (files.size() == 1) {
        if (files.front().isEmpty())
            return morvane::Error{"the FILE given is an empty name"};
        // The folder it is relative to is the one the program was started in.
        start.file = QFileInfo(files.front()).absoluteFilePath();
    }
    return start;
}

QString startUsage()
{
    return QStringLiteral(R"(Usage: morvane [options] [FILE]
Opens the Morvane window, which converts LightCycler 480 raw data text exports into the worksheet
layout that Quantivo imports, or into RDML.

  FILE            a raw data text export to open at start, as "Open text File" opens it; a file
                  that cannot be read is refused with the reason, as that command refuses it
  -h, --help      print this help and exit
  -v, --version   print the version and exit

Qt's own options, such as -platform or -style, are accepted too.
To convert without the window, use morvane-convert.
)");
}

QString startVersionLine()
{
    return QString::fromLatin1(kWindowProgram) + u' ' + morvane::VersionString;
}
