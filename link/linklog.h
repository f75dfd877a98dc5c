#pragma once

// Qt
#include <QLoggingCategory>

/// Messages of the viewer link: "qv.link". Debug detail is off unless QT_LOGGING_RULES turns it on
/// ("qv.link.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcLink)
