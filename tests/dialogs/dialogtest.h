#pragma once
// Helpers for the tests of the program's own dialogs, which the queued dialog seam hands to a
// test instead of running them modally.

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>

// Shows the dialog as its modal run would and waits until it is the active window. (Waiting on
// the window alone is not enough: a dialog counts as active while its owner is.)
inline bool showActive(QDialog& dialog)
{
    dialog.show();
    dialog.activateWindow();
    return QTest::qWaitFor([&] { return QApplication::activeWindow() == &dialog; });
}

// What the window manager does when a dialog closes and the offscreen platform does not: give
// the activation back to the window that owns it.
inline void returnToOwner(QDialog& dialog)
{
    if (QWidget* owner = dialog.parentWidget())
        owner->activateWindow();
}

// A caption and nothing else on the title bar: no system menu, close box or other buttons.
inline bool captionOnly(const QWidget& dialog)
{
    const Qt::WindowFlags flags = dialog.windowFlags();
    const Qt::WindowFlags buttons = Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                    Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                                    Qt::WindowContextHelpButtonHint;
    return (flags & Qt::CustomizeWindowHint) && (flags & Qt::WindowTitleHint) && !(flags & buttons);
}

inline QString labelText(const QDialog& dialog, const char* name)
{
    const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no label %1>").arg(QString::fromLatin1(name));
}

// The label's text fits the space it has: texts set by the caller are not cut off.
inline bool shownWhole(const QDialog& dialog, const char* name)
{
    const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label && label->width() >= label->sizeHint().width();
}

inline QPushButton* button(const QDialog& dialog, const char* name)
{
    auto* b = dialog.findChild<QPushButton*>(QString::fromLatin1(name));
    if (!b)
        qFatal("no button named %s", name);
    return b;
}

// Escape must not close a dialog that has no close box and no Cancel button.
inline void checkEscapeKeepsItOpen(QDialog& dialog)
{
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : &dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
}
