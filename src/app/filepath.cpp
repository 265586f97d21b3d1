#include "app/filepath.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

// The extensions of the "*.ext" patterns in one or more filters.
QStringList extensionsOf(const QString& filters)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([^\\s;)]+)"));
    QStringList found;
    for (const auto& match : pattern.globalMatch(filters))
        found << match.captured(1);
    return found;
}

} // namespace

QString withChosenExtension(const QString& path, const QString& filters, const QString& chosen)
{
    const QString suffix = QFileInfo(path).suffix();
    if (path.isEmpty() || (!suffix.isEmpty() && extensionsOf(filters).contains(suffix, Qt::CaseInsensitive)))
        return path;
    const QStringList wanted = extensionsOf(chosen);
    return wanted.isEmpty() ? path : path + QLatin1Char('.') + wanted.front();
}
