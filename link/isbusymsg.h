#pragma once

// Qt
#include <QByteArray>
#include <QString>

#include <optional>

/// What an "ISBUSY flag [command]" line from the viewer says.
struct IsBusyMsg
{
    bool hasFlag = false; // a line without a flag leaves the busy state as it was
    bool busy = false; // the flag reads as exactly 1
    QString finished; // upper-cased command just finished; empty while busy or when not named
};

/// Reads one received line (without its line feed) as UTF-8. The keyword is matched without
/// regard to case and white space of any kind, a trailing CR included, separates the fields.
/// Any other line gives nothing.
/// \test tst_zelmaplink.cpp
std::optional<IsBusyMsg> parseIsBusy(const QByteArray &line);
