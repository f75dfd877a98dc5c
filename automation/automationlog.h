#pragma once

// Qt
#include <QLoggingCategory>

/// Messages of batch files, setup files and the sequential driver: "qv.automation". Debug detail is off unless QT_LOGGING_RULES turns it on
/// ("qv.automation.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcAutomation)
