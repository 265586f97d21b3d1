#pragma once
// Every modal interaction of the window goes through this interface, so that tests can
// answer dialogs and message boxes without a human and without hanging.

#include <QString>

class QDialog;
class QWidget;

class DialogService {
public:
    enum class Icon { Warning, Question, Error, Information };
    enum class Buttons { Ok, OkCancel, YesNo };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~DialogService() = default;

    virtual Answer message(QWidget* parent, Icon icon, const QString& caption, const QString& text,
                           Buttons buttons) = 0;
    // The file chosen, or an empty text when the user cancelled.
    // `folder`: where the dialog starts; empty: its own default.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& folder = QString()) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                 const QString& folder = QString()) = 0;
    // Shows one of the program's own dialogs modally; returns its result code.
    virtual int exec(QDialog& dialog) = 0;
};

// The real thing: QMessageBox, QFileDialog, QDialog::exec.
class QtDialogService final : public DialogService {
public:
    Answer message(QWidget* parent, Icon icon, const QString& caption, const QString& text, Buttons buttons) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& folder) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                         const QString& folder) override;
    int exec(QDialog& dialog) override;
};
