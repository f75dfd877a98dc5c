#include "app/windowlog.h"

Q_LOGGING_CATEGORY(lcWindow, "qv.window", QtInfoMsg)
