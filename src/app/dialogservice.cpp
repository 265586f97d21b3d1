#include "app/dialogservice.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

DialogService::Answer QtDialogService::message(QWidget* parent, Icon icon, const QString& caption, const QString& text,
                                               Buttons buttons)
{
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setIcon(icon == Icon::Warning       ? QMessageBox::Warning
                : icon == Icon::Question    ? QMessageBox::Question
                : icon == Icon::Information ? QMessageBox::Information
                                            : QMessageBox::Critical);
    QAbstractButton* first = nullptr;
    QAbstractButton* second = nullptr;
    switch (buttons) {
    case Buttons::Ok:
        first = box.addButton(QObject::tr("OK"), QMessageBox::AcceptRole);
        break;
    case Buttons::OkCancel:
        first = box.addButton(QObject::tr("OK"), QMessageBox::AcceptRole);
        second = box.addButton(QObject::tr("Cancel"), QMessageBox::RejectRole);
        break;
    case Buttons::YesNo:
    case Buttons::YesNoSafe:
        first = box.addButton(QObject::tr("&Yes"), QMessageBox::YesRole);
        second = box.addButton(QObject::tr("&No"), QMessageBox::NoRole);
        break;
    }
    box.setDefaultButton(static_cast<QPushButton*>(buttons == Buttons::YesNoSafe ? second : first));
    box.exec();
    const bool tookFirst = box.clickedButton() == first;
    if (buttons == Buttons::YesNo || buttons == Buttons::YesNoSafe)
        return tookFirst ? Answer::Yes : Answer::No;
    return tookFirst || !second ? Answer::Ok : Answer::Cancel;
}

QString QtDialogService::openFileName(QWidget* parent, const QString& caption, const QString& folder,
                                      const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString QtDialogService::saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                      const QString& folder, QString* chosenFilter)
{
    // The question about an existing file is the window's own, asked once the chosen type's
    // extension is on the name (the dialog would ask about "run", then write "run.rdml").
    return QFileDialog::getSaveFileName(parent, caption, folder, filter, chosenFilter,
                                        QFileDialog::DontConfirmOverwrite);
}

int QtDialogService::exec(QDialog& dialog)
{
    return dialog.exec();
}
