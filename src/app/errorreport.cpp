#include "app/errorreport.h"

#include <QCoreApplication>
#include <QFileInfo>

QString programTitleFrom(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    return name.left(1).toUpper() + name.mid(1).toLower();
}

QString programTitle()
{
    return programTitleFrom(QCoreApplication::applicationFilePath());
}

QString errorReportText(const QString& text)
{
    if (!text.isEmpty() && text.back() > u'.')
        return text + u'.';
    return text;
}
