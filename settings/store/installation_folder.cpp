#include "settings/store/installation_folder.h"

#include <QSettings>

std::string InstallationFolder() {
    QSettings machine(QSettings::NativeFormat, QSettings::SystemScope, "Hadrel Forge", "Kestrova");
    return machine.value("InstallationFolder").toString().toStdString();
}
