#pragma once

// Qt
#include <QLoggingCategory>

/// Messages of sinograms, centre searches, the engine and the saver: "qv.ct". Debug detail is off unless QT_LOGGING_RULES turns it on
/// ("qv.ct.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcCt)
