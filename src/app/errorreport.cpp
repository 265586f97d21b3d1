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

QString sentenceStart(const QString& text)
{
    // A file's name ("plan.tsv, line 4: ...") is left as it is written.
    const QString firstWord = text.section(u' ', 0, 0);
    if (text.isEmpty() || !text.front().isLower() || firstWord.chopped(1).contains(u'.'))
        return text;
    return text.front().toUpper() + text.mid(1);
}

QString errorReportText(const QString& text)
{
    if (!text.isEmpty() && text.back() > u'.')
        return sentenceStart(text) + u'.';
    return sentenceStart(text);
}
