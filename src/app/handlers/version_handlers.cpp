// The main window's version check: remembers per user which version ran last and announces a
// different one once, before the user begins work.

#include "app/tform1.h"
#include "dialogs/newversion.h"
#include "dialogs/settingskey.h"
#include "dialogs/version.h"

#include <QLabel>

namespace {

const QString VersionValue = QStringLiteral("version");

} // namespace

void TForm1::CheckVersion(QObject* Sender)
{
    {
        SettingsKey key(*m_settings);
        // A key that cannot be opened is not worth a message: the notice is merely not shown.
        if (key.openKey()) {
            const QString previous = unwrap(key.readString(VersionValue));
            // Whole and exact: "2014.1 " and "2014.10" are other versions.
            if (previous != morvane::VersionString) {
                TNewVersionWarning NewVersionWarning(
                    *m_urlOpener, [this](const std::function<void()>& handler) { run(handler); }, this);
                NewVersionWarning.Versionlab->setText(morvane::VersionString);
                NewVersionWarning.newversionlab->setText(previous);
                NewVersionWarning.datelab->setText(morvane::ReleaseDateText);
                NewVersionWarning.AddressToVisit = morvane::DownloadPageAddress;
                m_dialogs->exec(NewVersionWarning);
            }
        }
    }
    // Only now: a program stopped while the notice is open shows it again at the next start.
    SaveVersionToRegistry(Sender);
}

void TForm1::SaveVersionToRegistry(QObject*)
{
    SettingsKey key(*m_settings);
    if (key.openKey())
        unwrap(key.writeString(VersionValue, morvane::VersionString));
}
