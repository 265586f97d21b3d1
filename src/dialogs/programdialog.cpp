#include "dialogs/programdialog.h"

#include "dialogs/programicon.h"
#include "dialogs/webbrowser.h"

#include <algorithm>

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// The bottom strip, with the buttons.
constexpr int kStripHeight = 37;
constexpr int kTitlePixels = 33;
constexpr int kValuePixels = 11;
constexpr int kCaptionGap = 4; // between a bold caption and its value

} // namespace

ProgramDialog::ProgramDialog(const QString& caption, const QString& title, QSize clientSize, HandlerRunner run,
                             QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_run(std::move(run))
{
    setWindowTitle(caption);
    setFixedSize(clientSize);
    setFont(systemFont(13));

    aboutPanel = new QFrame(this);
    aboutPanel->setObjectName(QStringLiteral("aboutPanel"));
    // An etched frame: lowered outside, raised inside.
    aboutPanel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    aboutPanel->setAutoFillBackground(true);
    QPalette white = aboutPanel->palette();
    white.setColor(QPalette::Window, Qt::white);
    aboutPanel->setPalette(white);
    aboutPanel->setGeometry(0, 0, clientSize.width(), clientSize.height() - kStripHeight);

    m_strip = new QWidget(this);
    m_strip->setGeometry(0, clientSize.height() - kStripHeight, clientSize.width(), kStripHeight);

    addProgramIcon();
    addLabel("Label10", title, systemFont(kTitlePixels), {kTextColumn, 8});
}

void ProgramDialog::runHandler(const std::function<void()>& handler)
{
    m_run(handler);
}

QFont ProgramDialog::pixelFont(const QString& family, int pixels, bool bold)
{
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QLabel* ProgramDialog::addLabel(const char* name, const QString& text, const QFont& font, QPoint at, bool black)
{
    auto* label = new QLabel(text, aboutPanel);
    label->setObjectName(QString::fromLatin1(name));
    // Some of these show text from outside (the stored version), never to be taken as markup.
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    if (black) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
    }
    // As wide as the panel allows, since the caller replaces the placeholders with longer texts.
    label->setGeometry(at.x(), at.y(), aboutPanel->width() - at.x() - aboutPanel->frameWidth(),
                       label->sizeHint().height());
    return label;
}

QLabel* ProgramDialog::addCaptionedValue(const char* captionName, const QString& caption, const char* valueName,
                                         int valueX, int top)
{
    QLabel* captionLabel = addLabel(captionName, caption, sansSerifFont(kValuePixels, true), {kTextColumn, top}, true);
    // A pixel above its caption, as on the Windows dialog this mirrors, and never touching it
    // whatever the font: "Version: 2014.1", not "Version:2014.1".
    const int afterCaption = kTextColumn + captionLabel->sizeHint().width() + kCaptionGap;
    return addLabel(valueName, QStringLiteral("x.x"), systemFont(kValuePixels),
                    {std::max(valueX, afterCaption), top - 1});
}

void ProgramDialog::addVersionLines(const QString& caption, int valueX, int top)
{
    Versionlab = addCaptionedValue("Version", caption, "Versionlab", valueX, top);
    datelab = addLabel("datelab", QStringLiteral("(mnth year)"), systemFont(kValuePixels), {kTextColumn - 1, top + 15});
}

void ProgramDialog::addWebBrowser(UrlOpener& opener, QRect geometry)
{
    m_browser = new WebBrowser(opener, aboutPanel);
    m_browser->setObjectName(QStringLiteral("WebBrowser1"));
    m_browser->setGeometry(geometry);
}

void ProgramDialog::addProgramIcon()
{
    auto* frame = new QFrame(aboutPanel);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setGeometry(8, 7, 103, 98);
    auto* icon = new QLabel(frame);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(programPicture());
    icon->setScaledContents(true);
    icon->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(frame->frameWidth(), frame->frameWidth(), frame->frameWidth(), frame->frameWidth());
    layout->addWidget(icon);
}

void ProgramDialog::addOkButton(QPoint at)
{
    auto* button = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), m_strip);
    button->setObjectName(QStringLiteral("OKButton"));
    button->setFont(sansSerifFont(11, true));
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, Qt::black);
    button->setPalette(palette);
    button->setGeometry(at.x(), at.y(), 64, 27);
    button->setDefault(true);
    connect(button, &QPushButton::clicked, this, &QDialog::accept);
    // The focus at opening.
    button->setFocus();
}

void ProgramDialog::addVisitButton(const char* name, const QString& text, QRect geometry)
{
    auto* button = new QPushButton(text, m_strip);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    connect(button, &QPushButton::clicked, this, [this] {
        runHandler([this] {
            m_browser->Navigate(AddressToVisit);
            reject();
        });
    });
}

void ProgramDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void ProgramDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
