#include "ct/ctlog.h"

Q_LOGGING_CATEGORY(lcCt, "qv.ct", QtInfoMsg)
