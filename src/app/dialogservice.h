#pragma once
// Every modal interaction of the window goes through this interface, so that tests can
// answer dialogs and message boxes without a human and without hanging.

#include <QString>

class QDialog;
class QWidget;

class DialogService {
public:
    enum class Icon { Warning, Question, Error, Information };
    // YesNoSafe: Yes and No with No the default, for a question whose Yes replaces or loses
    // something, so that a hurried Enter goes back.
    enum class Buttons { Ok, OkCancel, YesNo, YesNoSafe };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~DialogService() = default;

    virtual Answer message(QWidget* parent, Icon icon, const QString& caption, const QString& text,
                           Buttons buttons) = 0;
    // The file chosen, or an empty text when the user cancelled.
    // `folder`: where the dialog starts; empty: its own default. `filter`: the file types offered,
    // ";;" between them, the first one chosen at the start; empty: every file.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& folder = QString(),
                                 const QString& filter = QString()) = 0;
    // Never asks before an existing file is chosen: the caller knows whether it is replaced
    // (TForm1::askSavePath asks) or added to (a workbook). `chosenFilter`, when given, gets the
    // file type the user left selected.
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                 const QString& folder = QString(), QString* chosenFilter = nullptr) = 0;
    // Shows one of the program's own dialogs modally; returns its result code.
    virtual int exec(QDialog& dialog) = 0;
};

// The real thing: QMessageBox, QFileDialog, QDialog::exec.
class QtDialogService final : public DialogService {
public:
    Answer message(QWidget* parent, Icon icon, const QString& caption, const QString& text, Buttons buttons) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& filter, const QString& folder,
                         QString* chosenFilter) override;
    int exec(QDialog& dialog) override;
};
