#pragma once

// Qt
#include <QLoggingCategory>

/// Messages of image files, scan files and the I0/BG correction: "qv.imagedata". Debug detail is off unless QT_LOGGING_RULES turns it on
/// ("qv.imagedata.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcImageData)
