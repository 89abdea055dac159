#include "settings/settings.h"

TSettings Settings;
