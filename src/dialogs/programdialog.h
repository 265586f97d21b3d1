#pragma once
// What the new-version notice and the About dialog share: a fixed, centred, modal dialog with a
// caption and no title-bar buttons; a white panel with the program's picture, a big title and the
// version with its date; a browser control to open the download page; an OK button; and handlers
// that report their errors through the main window.

#include <QDialog>

#include <functional>

class QFrame;
class QLabel;
class QPushButton;
class UrlOpener;
class WebBrowser;

// Runs one handler of a dialog. The main window passes its general error report, so an error in
// a dialog's handler is shown like any other and the dialog stays as the handler left it.
using HandlerRunner = std::function<void(const std::function<void()>& handler)>;

class ProgramDialog : public QDialog {
    Q_OBJECT
public:
    // `clientSize`: the whole dialog; a strip at the bottom holds the buttons and the rest is the
    // white panel, with the picture and `title` at its top left.
    ProgramDialog(const QString& caption, const QString& title, QSize clientSize, HandlerRunner run, QWidget* parent);

    // Set by the caller: the running version, its release date and the download page.
    QLabel* Versionlab = nullptr;
    QLabel* datelab = nullptr;
    QString AddressToVisit;

protected:
    // Where the texts right of the picture begin.
    static constexpr int kTextColumn = 126;

    // Adds a label to the white panel at `at`, reaching to the panel's right edge.
    QLabel* addLabel(const char* name, const QString& text, const QFont& font, QPoint at, bool black = false);
    // A bold caption in the panel's text column at height `top` and, at `valueX`, the label for
    // a value the caller sets, which is returned.
    QLabel* addCaptionedValue(const char* captionName, const QString& caption, const char* valueName, int valueX,
                              int top);
    // The caption "Version" with Versionlab, and datelab under them.
    void addVersionLines(const QString& caption, int valueX, int top);
    // Only its Navigate is used, so it may sit anywhere in the panel.
    void addWebBrowser(UrlOpener& opener, QRect geometry);
    void addOkButton(QPoint at);
    // A button in the bottom strip that has the browser open AddressToVisit and then closes the
    // dialog (as cancelled).
    void addVisitButton(const char* name, const QString& text, QRect geometry);

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

    // The white panel.
    QFrame* aboutPanel = nullptr;

private:
    // The framed picture at the panel's top left.
    void addProgramIcon();
    void runHandler(const std::function<void()>& handler);

    QWidget* m_strip = nullptr;
    WebBrowser* m_browser = nullptr;
    HandlerRunner m_run;
};
