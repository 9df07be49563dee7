#include "app/Settings.h"

#include <QFileInfo>
#include <QSettings>
#include <QSize>
#include <QStandardPaths>

#include "app/QtHost.h"

namespace zvek {

namespace {

constexpr int kDefaultWidth = 480;
constexpr int kDefaultHeight = 350;

int ReadInt(const QSettings& ini, const QString& key, int fallback) {
    bool ok = false;
    const int value = ini.value(key).toString().trimmed().toInt(&ok);
    return ok ? value : fallback;
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
    if (!QFileInfo::exists(path)) return settings;
    QSettings ini(path, QSettings::IniFormat);
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
    QSettings ini(path, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("ZVEKLC"));
    ini.setValue(QStringLiteral("Left"), settings.left);
    ini.setValue(QStringLiteral("Top"), settings.top);
    ini.setValue(QStringLiteral("Width"), settings.width);
    ini.setValue(QStringLiteral("Height"), settings.height);
    ini.setValue(QStringLiteral("OpenDir"), PathToQt(settings.openDir));
    ini.setValue(QStringLiteral("SaveDir"), PathToQt(settings.saveDir));
    ini.endGroup();
    ini.sync();
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
