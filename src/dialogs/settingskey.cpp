#include "dialogs/settingskey.h"

#include <QSettings>

namespace {

morvane::Error failure(const char* what, const QString& name)
{
    return {what + (" '" + name.toStdString() + "'"), 0};
}

} // namespace

bool SettingsKey::openKey() const
{
    return m_settings.status() != QSettings::AccessError && m_settings.isWritable();
}

morvane::Expected<QString> SettingsKey::readString(const QString& name) const
{
    // A store that does not parse is not overwritten: the user may want what is in it.
    if (m_settings.status() != QSettings::NoError)
        return failure("Failed to get data for", name);
    const QVariant value = m_settings.value(name);
    if (!value.isValid())
        return QString();
    if (value.typeId() != QMetaType::QString)
        return failure("Invalid data type for", name);
    return value.toString();
}

morvane::Status SettingsKey::writeString(const QString& name, const QString& data)
{
    m_settings.setValue(name, data);
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        return failure("Failed to set data for", name);
    return morvane::success();
}
