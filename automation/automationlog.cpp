#include "automation/automationlog.h"

Q_LOGGING_CATEGORY(lcAutomation, "qv.automation", QtInfoMsg)
