#include "ui/program_version.h"

QString ProgramVersionText() {
#if defined(KZ_VERSION_PARTS)
    return QStringLiteral(KZ_VERSION_PARTS);
#else
    return QStringLiteral("Unknown");
#endif
}
