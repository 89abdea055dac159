#include "app/capture_file_name.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

std::string DefaultRecordingFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder)) folder = QDir::homePath();
    return folder.toStdString();
}

std::string RecordingFilePath(const std::string& stored, const QDateTime& start) {
    if (!stored.empty()) return stored;
    const QString stem = QString::fromStdString(DefaultRecordingFolder()) + "/Kestrova " +
                         start.toString("yyyy-MM-dd hh-mm-ss");
    // Two runs within one second (a quick stop and start) must not overwrite each other.
    QString path = stem + ".ogg";
    for (int copy = 2; QFileInfo::exists(path); ++copy)
        path = stem + QString(" (%1).ogg").arg(copy);
    return path.toStdString();
}
