#include "app/queueddialogs.h"

#include <QDialog>
#include <QTest>

namespace {

const char* answerName(DialogService::Answer answer)
{
    switch (answer) {
    case DialogService::Answer::Ok:
        return "Ok";
    case DialogService::Answer::Cancel:
        return "Cancel";
    case DialogService::Answer::Yes:
        return "Yes";
    case DialogService::Answer::No:
        return "No";
    }
    return "?";
}

} // namespace

QueuedDialogs::~QueuedDialogs()
{
    const QStringList unused = unusedAnswers();
    // After a failure the rest of the test did not run: its answers are left for that reason.
    if (unused.isEmpty() || QTest::currentTestFailed())
        return;
    const QByteArray message =
        "queued for dialogs that were never shown: " + unused.join(QStringLiteral(", ")).toUtf8();
    if (QTest::currentTestFunction())
        QTest::qFail(message.constData(), __FILE__, __LINE__);
    else
        qFatal("%s", message.constData());
}

QStringList QueuedDialogs::unusedAnswers() const
{
    QStringList unused;
    for (const Answer answer : m_answers)
        unused << QStringLiteral("the answer %1").arg(QLatin1String(answerName(answer)));
    for (const QueuedFile& file : m_files)
        unused << (file.path.isEmpty() ? QStringLiteral("a cancelled file dialog")
                                       : QStringLiteral("the file '%1'").arg(file.path));
    if (!m_dialogActions.empty())
        unused << QStringLiteral("%1 dialog action(s)").arg(m_dialogActions.size());
    return unused;
}

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
    return buttons == Buttons::YesNo || buttons == Buttons::YesNoSafe ? Answer::No : Answer::Ok;
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
