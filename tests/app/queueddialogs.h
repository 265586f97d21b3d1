#pragma once
// Answers the window's dialogs from queues, records every message box shown, and never blocks.
// A queued answer, file or dialog action that nobody asked for fails the running test when the
// queue goes (with the window that owns it): the test did not go the way it meant to.

#include "app/dialogservice.h"

#include <QList>
#include <QStringList>

#include <deque>
#include <functional>

class QueuedDialogs final : public DialogService {
public:
    struct Shown {
        Icon icon;
        QString caption;
        QString text;
        Buttons buttons;
    };

    // The answer to the next message box. A box without a queued answer gets OK, or No for a
    // Yes/No question.
    ~QueuedDialogs() override;

    void answerNext(Answer answer) { m_answers.push_back(answer); }
    // The file the next file dialog returns ("" = the user cancels). Without one it is cancelled.
    // `filter`: the file type a save dialog returns as chosen; empty: the first one offered.
    void fileNext(const QString& path, const QString& filter = QString()) { m_files.push_back({path, filter}); }
    // What happens to the next modal dialog of the program's own; returns its result code.
    // Without one the dialog is rejected at once.
    void dialogNext(std::function<int(QDialog&)> action) { m_dialogActions.push_back(std::move(action)); }

    const QList<Shown>& shown() const { return m_shown; }
    QStringList shownTexts() const;
    void clearShown() { m_shown.clear(); }
    int fileDialogsShown() const { return m_fileDialogs; }
    int dialogsShown() const { return m_dialogs; }
    // Queued answers, files and dialog actions nobody asked for (so far).
    int unused() const { return int(m_answers.size() + m_files.size() + m_dialogActions.size()); }
    QStringList unusedAnswers() const;

    Answer message(QWidget* parent, Icon icon, const QString& caption, const QString& text, Buttons buttons) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& filter, const QString& folder,
                         QString* chosenFilter) override;
    // The folder the last file dialog was asked to start in, and the file types it offered.
    const QString& lastFolder() const { return m_lastFolder; }
    const QString& lastFilter() const { return m_lastFilter; }
    int exec(QDialog& dialog) override;

private:
    struct QueuedFile {
        QString path;
        QString filter;
    };
    QueuedFile nextFile();

    std::deque<Answer> m_answers;
    std::deque<QueuedFile> m_files;
    std::deque<std::function<int(QDialog&)>> m_dialogActions;
    QList<Shown> m_shown;
    int m_fileDialogs = 0;
    QString m_lastFolder;
    QString m_lastFilter;
    int m_dialogs = 0;
};
