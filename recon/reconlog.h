#pragma once

// Qt
#include <QLoggingCategory>

/// Messages of runs, scans of centres and series without a window: "qv.recon". Debug detail is off unless QT_LOGGING_RULES turns it on
/// ("qv.recon.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcRecon)
