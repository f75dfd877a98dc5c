#pragma once

// Qt
#include <QLoggingCategory>

/// Messages of display widgets: "qv.widgets". Debug detail is off unless QT_LOGGING_RULES turns it on
/// ("qv.widgets.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcWidgets)
