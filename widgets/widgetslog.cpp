#include "widgets/widgetslog.h"

Q_LOGGING_CATEGORY(lcWidgets, "qv.widgets", QtInfoMsg)
