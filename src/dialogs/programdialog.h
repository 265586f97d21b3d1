#pragma once
// What the new-version notice and the About dialog share: a fixed, centred, modal dialog with a
// caption and no title-bar buttons, a white panel holding the program's picture, an OK button,
// and handlers that report their errors through the main window.

#include <QDialog>

#include <functional>

class QFrame;
class QLabel;
class QPushButton;

// Runs one handler of a dialog. The main window passes its general error report, so an error in
// a dialog's handler is shown like any other and the dialog stays as the handler left it.
using HandlerRunner = std::function<void(const std::function<void()>& handler)>;

class ProgramDialog : public QDialog {
    Q_OBJECT
public:
    // `clientSize`: the whole dialog; the bottom `stripHeight` pixels hold the buttons and the
    // rest is the white panel.
    ProgramDialog(const QString& caption, QSize clientSize, int stripHeight, HandlerRunner run, QWidget* parent);

protected:
    void runHandler(const std::function<void()>& handler);
    // Adds a label to the white panel at `at`, reaching to the panel's right edge.
    QLabel* addLabel(const char* name, const QString& text, const QFont& font, QPoint at, bool black = false);
    // The framed picture at 8, 7 in the white panel.
    QLabel* addProgramIcon();
    QPushButton* addOkButton(QPoint at);

    static QFont pixelFont(const QString& family, int pixels, bool bold = false);
    static QFont systemFont(int pixels) { return pixelFont(QStringLiteral("System"), pixels); }
    static QFont sansSerifFont(int pixels, bool bold)
    {
        return pixelFont(QStringLiteral("MS Sans Serif"), pixels, bold);
    }

    void showEvent(QShowEvent* event) override;
    // There is no close box and no Cancel button: Escape leaves the dialog open, as it would
    // on the Windows dialog this mirrors.
    void keyPressEvent(QKeyEvent* event) override;

    QFrame* m_panel = nullptr;
    QWidget* m_strip = nullptr;

private:
    HandlerRunner m_run;
};
