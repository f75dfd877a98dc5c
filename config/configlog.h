#pragma once

// Qt
#include <QLoggingCategory>

/// Messages of configuration and start-up: "qv.config". Debug detail is off unless QT_LOGGING_RULES turns it on
/// ("qv.config.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcConfig)
