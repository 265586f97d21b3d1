#include "dialogs/programdialog.h"

#include "dialogs/programicon.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

ProgramDialog::ProgramDialog(const QString& caption, QSize clientSize, int stripHeight, HandlerRunner run,
                             QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_run(std::move(run))
{
    setWindowTitle(caption);
    setFixedSize(clientSize);
    setFont(systemFont(13));

    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("aboutPanel"));
    // An etched frame: lowered outside, raised inside.
    m_panel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    m_panel->setAutoFillBackground(true);
    QPalette white = m_panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_panel->setPalette(white);
    m_panel->setGeometry(0, 0, clientSize.width(), clientSize.height() - stripHeight);

    m_strip = new QWidget(this);
    m_strip->setGeometry(0, clientSize.height() - stripHeight, clientSize.width(), stripHeight);
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
    auto* label = new QLabel(text, m_panel);
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
    label->setGeometry(at.x(), at.y(), m_panel->width() - at.x() - m_panel->frameWidth(), label->sizeHint().height());
    return label;
}

QLabel* ProgramDialog::addProgramIcon()
{
    auto* frame = new QFrame(m_panel);
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
    return icon;
}

QPushButton* ProgramDialog::addOkButton(QPoint at)
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
    return button;
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
