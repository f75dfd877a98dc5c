#pragma once

// Qt
#include <QLoggingCategory>

/// Messages of the 3D View: "qv.view3d". Debug detail is off unless QT_LOGGING_RULES turns it on
/// ("qv.view3d.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcView3d)
