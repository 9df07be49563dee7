#include "app/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSize>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <exception>

#include "app/QtHost.h"
#include "platform/Files.h"
#include "platform/TempFiles.h"

namespace zvek {

namespace {

constexpr int kDefaultWidth = 480;
constexpr int kDefaultHeight = 350;
// A real settings file is a few hundred bytes.
constexpr std::size_t kMaxSettingsBytes = 1024 * 1024;

int ReadInt(const QSettings& ini, const QString& key, int fallback) {
    bool ok = false;
    const int value = ini.value(key).toString().trimmed().toInt(&ok);
    return ok ? value : fallback;
}

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
    ini.beginGroup(QStringLiteral("ZVEKLC"));
    settings.left = ReadInt(ini, QStringLiteral("Left"), -1);
    settings.top = ReadInt(ini, QStringLiteral("Top"), -1);
    settings.width = ReadInt(ini, QStringLiteral("Width"), kDefaultWidth);
    settings.height = ReadInt(ini, QStringLiteral("Height"), kDefaultHeight);
    settings.openDir = PathFromQt(ini.value(QStringLiteral("OpenDir")).toString());
    settings.saveDir = PathFromQt(ini.value(QStringLiteral("SaveDir")).toString());
    return settings;
}

void WriteSettings(const QString& path, const WindowSettings& settings) {
    // What else the file holds is kept; a file that cannot be read is not
    // written over either.
    QTemporaryFile scratch;
    if (!CopyToScratch(path, scratch)) return;
    {
        QSettings ini(scratch.fileName(), QSettings::IniFormat);
        ini.beginGroup(QStringLiteral("ZVEKLC"));
        ini.setValue(QStringLiteral("Left"), settings.left);
        ini.setValue(QStringLiteral("Top"), settings.top);
        ini.setValue(QStringLiteral("Width"), settings.width);
        ini.setValue(QStringLiteral("Height"), settings.height);
        ini.setValue(QStringLiteral("OpenDir"), PathToQt(settings.openDir));
        ini.setValue(QStringLiteral("SaveDir"), PathToQt(settings.saveDir));
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

void FitToScreen(WindowSettings& s, const QSize& screen) {
    const long long sw = screen.width();
    const long long sh = screen.height();
    if (s.width < 0 || s.width >= sw) s.width = kDefaultWidth;
    if (s.height < 0 || s.height >= sh) s.height = kDefaultHeight;
    if (s.left < 0 || s.left + static_cast<long long>(s.width) >= sw) s.left = static_cast<int>((sw - s.width) / 2);
    if (s.top < 0 || s.top + static_cast<long long>(s.height) >= sh) s.top = static_cast<int>((sh - s.height) / 2);
}

}  // namespace zvek
