#pragma once

// Qt
#include <QLoggingCategory>

/// Messages of the CT-XAFS alignment: "qv.xafs". Debug detail is off unless QT_LOGGING_RULES turns
/// it on ("qv.xafs.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcXafs)
