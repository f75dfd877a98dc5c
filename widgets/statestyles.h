#pragma once

// Qt
#include <QString>

/// The state colours of the window's buttons and fields, as style sheets: idle, running, a busy
/// peer and an idle one, and a failure (a file that could not be used, a job that failed).
namespace ButtonStyle {
inline const QString idle = QStringLiteral("background-color: rgb(213, 245, 255);");
inline const QString running = QStringLiteral("background-color: rgb(255, 255, 128);");
inline const QString busy = QStringLiteral("background-color: rgb(255, 192, 192);");
inline const QString notBusy = QStringLiteral("background-color: rgb(211, 255, 241);");
inline const QString failed = QStringLiteral("background-color: rgb(255, 192, 192);");
} // namespace ButtonStyle
