#include "settings/QSettingsBackend.h"

#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>
#include <limits>

namespace qm {

namespace {

constexpr const char* kProductName = "Quillmere";

// One group of the QSettings store. Values are looked up as "group/name". A key opened for
// writing writes its values to storage when it is closed.
class QSettingsKey final : public SettingsKey {
public:
    QSettingsKey(std::shared_ptr<QSettings> settings, const std::string& group, bool writable)
        : m_settings(std::move(settings)),
          m_prefix(QString::fromStdString(group) + QLatin1Char('/')),
          m_writable(writable) {}

    ~QSettingsKey() override {
        if (m_writable) {
            m_settings->sync();
        }
    }

    // A DWORD comes back as an integer from the registry and as text from an INI file.
    // Numbers up to 2^32 - 1 are taken as the 32 bits of a DWORD, so 4294967295 reads as -1.
    std::optional<std::int32_t> ReadDword(const std::string& name) override {
        const QVariant value = Value(name);
        if (!value.isValid() || value.typeId() == QMetaType::QByteArray || value.typeId() == QMetaType::QStringList) {
            return std::nullopt;
        }
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        if (!ok || number < std::numeric_limits<std::int32_t>::min() ||
            number > std::numeric_limits<std::uint32_t>::max()) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
    }

    std::optional<std::string> ReadString(const std::string& name) override {
        const QVariant value = Value(name);
        if (!value.isValid() || value.typeId() == QMetaType::QByteArray || value.typeId() == QMetaType::QStringList ||
            !value.canConvert<QString>()) {
            return std::nullopt;
        }
        return value.toString().toStdString();
    }

    std::optional<std::vector<std::uint8_t>> ReadBinary(const std::string& name) override {
        const QVariant value = Value(name);
        if (value.typeId() != QMetaType::QByteArray) {
            return std::nullopt;
        }
        const QByteArray bytes = value.toByteArray();
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }

    [[nodiscard]] bool WriteDword(const std::string& name, std::int32_t value) override {
        return Store(name, QVariant(static_cast<int>(value)));
    }

    [[nodiscard]] bool WriteString(const std::string& name, const std::string& value) override {
        return Store(name, QVariant(QString::fromStdString(value)));
    }

    [[nodiscard]] bool WriteBinary(const std::string& name, const std::vector<std::uint8_t>& value) override {
        const QByteArray bytes(reinterpret_cast<const char*>(value.data()), static_cast<qsizetype>(value.size()));
        return Store(name, QVariant(bytes));
    }

private:
    QVariant Value(const std::string& name) const { return m_settings->value(m_prefix + QString::fromStdString(name)); }

    [[nodiscard]] bool Store(const std::string& name, const QVariant& value) {
        if (!m_writable) {
            return false;
        }
        m_settings->setValue(m_prefix + QString::fromStdString(name), value);
        return m_settings->status() == QSettings::NoError;
    }

    std::shared_ptr<QSettings> m_settings;
    QString m_prefix;
    bool m_writable;
};

std::shared_ptr<QSettings> MakeUserSettings() {
#ifdef Q_OS_WIN
    return std::make_shared<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\") + QLatin1String(kProductName),
                                       QSettings::NativeFormat);
#else
    // On Unix the native format is an INI file named <organization>/<application>.conf.
    return std::make_shared<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kProductName),
                                       QLatin1String(kProductName));
#endif
}

}  // namespace

QSettingsBackend::QSettingsBackend() : m_settings(MakeUserSettings()) {}

QSettingsBackend::QSettingsBackend(const std::string& iniFilePath)
    : m_settings(std::make_shared<QSettings>(QString::fromStdString(iniFilePath), QSettings::IniFormat)) {}

QSettingsBackend::~QSettingsBackend() = default;

// A group exists when it holds a value or a group of its own.
std::unique_ptr<SettingsKey> QSettingsBackend::OpenForReading(const std::string& group) {
    m_settings->beginGroup(QString::fromStdString(group));
    const bool exists = !m_settings->childKeys().isEmpty() || !m_settings->childGroups().isEmpty();
    m_settings->endGroup();
    if (!exists) {
        return nullptr;
    }
    return std::make_unique<QSettingsKey>(m_settings, group, false);
}

std::unique_ptr<SettingsKey> QSettingsBackend::CreateForWriting(const std::string& group) {
    if (!m_settings->isWritable()) {
        return nullptr;
    }
    return std::make_unique<QSettingsKey>(m_settings, group, true);
}

std::string QSettingsBackend::Location() const { return m_settings->fileName().toStdString(); }

std::string UserDocumentsFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        return std::string();
    }
    return QDir::toNativeSeparators(folder).toStdString();
}

}  // namespace qm
