#include "untSettings.h"

#include <QSettings>
#include <memory>

namespace {

// A fresh store object each call: the values are touched twice at start-up
// and twice at exit, and a new object always sees the file as it is now.
std::unique_ptr<QSettings> OpenStore() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Velmora"),
                                       QStringLiteral("Velmora"));
}

QString Key(const std::string& name) {
    return QString::fromLatin1(kSettingsKeyPath) + QLatin1Char('/') + QString::fromStdString(name);
}

}  // namespace

std::optional<std::string> TSettingsStore::ReadString(const std::string& name) {
    const auto store = OpenStore();
    if (store->status() != QSettings::NoError) return std::nullopt;
    const QVariant value = store->value(Key(name));
    if (!value.isValid()) return std::nullopt;
    return value.toString().toStdString();
}

bool TSettingsStore::WriteString(const std::string& name, const std::string& value) {
    const auto store = OpenStore();
    if (store->status() != QSettings::NoError || !store->isWritable()) return false;
    store->setValue(Key(name), QString::fromStdString(value));
    store->sync();
    return store->status() == QSettings::NoError;
}

std::string TSettingsStore::FileName() { return OpenStore()->fileName().toStdString(); }
