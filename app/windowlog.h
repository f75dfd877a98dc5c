#pragma once

// Qt
#include <QLoggingCategory>

/// Messages of the main window: "qv.window". Debug detail is off unless QT_LOGGING_RULES turns it on
/// ("qv.window.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcWindow)
