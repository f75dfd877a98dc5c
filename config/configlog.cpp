#include "config/configlog.h"

Q_LOGGING_CATEGORY(lcConfig, "qv.config", QtInfoMsg)
