#include "app/kestrova_application.h"

#include <exception>
#include <string>

#include "settings/log.h"

TKestrovaApplication::TKestrovaApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Kestrova Ogg Zizizada");
}

bool TKestrovaApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        LogLine(std::string("Error Warning: ") + error.what());
    } catch (...) {
        LogLine("Error Warning: unknown exception");
    }
    return false;
}
