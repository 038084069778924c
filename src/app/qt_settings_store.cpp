#include "app/qt_settings_store.h"

#include <QSysInfo>

namespace tolvane {

namespace {

QString Key(const std::string& section, const std::string& entry) {
  return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(entry);
}

// On Windows the company part names two nested registry keys; a file-based
// store makes the same two levels of folders.
QString CompanyPart() {
  QString company = QString::fromUtf8(kSettingsCompany);
  if (QSysInfo::productType() != QLatin1String("windows")) company.replace(QLatin1Char('\\'), QLatin1Char('/'));
  return company;
}

}  // namespace

QtSettingsStore::QtSettingsStore()
    : m_Settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, CompanyPart(),
                                             QString::fromUtf8(kSettingsApplication))) {}

QtSettingsStore::QtSettingsStore(const QString& iniPath)
    : m_Settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

int32_t QtSettingsStore::ReadInt(const std::string& section, const std::string& entry, int32_t def) {
  bool ok = false;
  int value = m_Settings->value(Key(section, entry), def).toInt(&ok);
  return ok ? value : def;
}

void QtSettingsStore::WriteInt(const std::string& section, const std::string& entry, int32_t value) {
  m_Settings->setValue(Key(section, entry), value);
  m_Settings->sync();
}

std::string QtSettingsStore::ReadString(const std::string& section, const std::string& entry, const std::string& def) {
  QVariant value = m_Settings->value(Key(section, entry));
  if (!value.isValid()) return def;
  return value.toString().toStdString();
}

void QtSettingsStore::WriteString(const std::string& section, const std::string& entry, const std::string& value) {
  m_Settings->setValue(Key(section, entry), QString::fromStdString(value));
  m_Settings->sync();
}

}  // namespace tolvane
