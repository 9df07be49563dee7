#include "app/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <exception>

#include "app/QtHost.h"
#include "platform/Files.h"
#include "platform/TempFiles.h"

namespace zvek {

namespace {

// A real settings file is a few hundred bytes.
constexpr std::size_t kMaxSettingsBytes = 1024 * 1024;

// QSettings reads and writes the INI text, but only ever on a private copy:
// on the file itself it would block on a pipe, read a file of any size, and
// replace a device or a link's target's file system entry with a file.
// Nothing here throws: a settings file that cannot be read gives the
// defaults, one that cannot be written is left as it is.
//
// The settings file's bytes (none where it does not exist) in a private
// temporary file.
bool CopyToScratch(const QString& path, QTemporaryFile& scratch) {
    std::string bytes;
    try {
        scratch.setFileTemplate(PathToQt(PrivateTempDir()) + QStringLiteral("/settings.XXXXXX"));
        if (NameTaken(PathFromQt(path))) bytes = ReadRegularFile(PathFromQt(path), kMaxSettingsBytes);
    } catch (const FileError&) {
        return false;
    }
    if (!scratch.open() || scratch.write(bytes.data(), static_cast<qint64>(bytes.size())) != qint64(bytes.size()))
        return false;
    scratch.close();
    return true;
}

}  // namespace

QString SettingsFilePath(const QString& programDir) {
    const QString portable = programDir + QStringLiteral("/zveklc.ini");
    const QFileInfo info(portable);
    if (info.isFile() && info.isWritable()) return portable;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/zveklc/zveklc.ini");
}

WindowSettings ReadSettings(const QString& path) {
    WindowSettings settings;
    QTemporaryFile scratch;
    if (!NameTaken(PathFromQt(path)) || !CopyToScratch(path, scratch)) return settings;
    QSettings ini(scratch.fileName(), QSettings::IniFormat);
    ini.beginGroup(QString::fromLatin1(kSettingsSection));
    for (const SettingsKey& key : SettingsKeys()) {
        const QVariant value = ini.value(QString::fromLatin1(key.name));
        if (key.text) {
            settings.*key.text = PathFromQt(value.toString());
            continue;
        }
        bool ok = false;
        const int number = value.toString().trimmed().toInt(&ok);
        if (ok) settings.*key.number = number;
    }
    return settings;
}

void WriteSettings(const QString& path, const WindowSettings& settings) {
    // What else the file holds is kept; a file that cannot be read is not
    // written over either.
    QTemporaryFile scratch;
    if (!CopyToScratch(path, scratch)) return;
    {
        QSettings ini(scratch.fileName(), QSettings::IniFormat);
        ini.beginGroup(QString::fromLatin1(kSettingsSection));
        for (const SettingsKey& key : SettingsKeys())
            ini.setValue(QString::fromLatin1(key.name),
                         key.text ? QVariant(PathToQt(settings.*key.text)) : QVariant(settings.*key.number));
        ini.endGroup();
        ini.sync();
        if (ini.status() != QSettings::NoError) return;
    }
    try {
        const std::string bytes = ReadRegularFile(PathFromQt(scratch.fileName()), kMaxSettingsBytes);
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteOwnFile(PathFromQt(path), bytes);
    } catch (const std::exception&) {
        // The settings are a convenience: the window closes all the same.
    }
}

}  // namespace zvek
