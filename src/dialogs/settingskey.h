#pragma once
// The registry accessor of the version check, over QSettings: on Windows the key
// HKEY_CURRENT_USER\Software\Fennwick\Morvane, elsewhere the platform's per-user settings file.

#include "common/expected.h"

#include <QString>

class QSettings;

class SettingsKey {
public:
    explicit SettingsKey(QSettings& settings) : m_settings(settings) {}

    // Whether the key can be opened with full access, creating it when missing. When it cannot,
    // nothing is read or written and nothing is reported.
    bool openKey() const;
    // A missing value reads as empty text. A value that is not text fails with "Invalid data type
    // for '<name>'", a store that cannot be read with "Failed to get data for '<name>'".
    morvane::Expected<QString> readString(const QString& name) const;
    // Replaces the value and writes it through at once: the program may be stopped from outside
    // at any moment. Fails with "Failed to set data for '<name>'".
    morvane::Status writeString(const QString& name, const QString& data);

private:
    QSettings& m_settings;
};
