#include "app/queueddialogs.h"

#include <QDialog>

QStringList QueuedDialogs::shownTexts() const
{
    QStringList texts;
    for (const auto& s : m_shown)
        texts << s.text;
    return texts;
}

DialogService::Answer QueuedDialogs::message(QWidget*, Icon icon, const QString& caption, const QString& text,
                                             Buttons buttons)
{
    m_shown.push_back({icon, caption, text, buttons});
    if (!m_answers.empty()) {
        const Answer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

QueuedDialogs::QueuedFile QueuedDialogs::nextFile()
{
    ++m_fileDialogs;
    if (m_files.empty())
        return {};
    QueuedFile file = m_files.front();
    m_files.pop_front();
    return file;
}

QString QueuedDialogs::openFileName(QWidget*, const QString&, const QString& folder, const QString& filter)
{
    m_lastFolder = folder;
    m_lastFilter = filter;
    return nextFile().path;
}

QString QueuedDialogs::saveFileName(QWidget*, const QString&, const QString& filter, const QString& folder,
                                    QString* chosenFilter)
{
    m_lastFolder = folder;
    m_lastFilter = filter;
    const QueuedFile file = nextFile();
    if (chosenFilter)
        *chosenFilter = file.filter.isEmpty() ? filter.section(QStringLiteral(";;"), 0, 0) : file.filter;
    return file.path;
}

int QueuedDialogs::exec(QDialog& dialog)
{
    ++m_dialogs;
    if (m_dialogActions.empty())
        return QDialog::Rejected;
    auto action = std::move(m_dialogActions.front());
    m_dialogActions.pop_front();
    return action(dialog);
}
