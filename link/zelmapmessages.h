#pragma once

// Qt
#include <QString>
#include <QStringList>

/// The lines sent to the 2dZelmap viewer. Each ends in a line feed; fields are separated by single
/// spaces and nothing is quoted, so the viewer splits a path holding a blank into two fields.
/// \test tst_zelmaplink.cpp
namespace zelmap {

inline const QString loadPatternCmd = QStringLiteral("LOAD_I1_FILES_OF_PATTERN");
inline const QString loadFilesCmd = QStringLiteral("LOAD_I1_FILES");
inline const QString exec2dACmd = QStringLiteral("ANALYZER_EXEC_2DA");

/// "myName quorvel": names this program to the viewer.
QString helloMsg();
/// Load every "*.dat" file of a directory; `dirPath` ends in a backslash.
QString loadFilesOfPatternMsg(const QString &dirPath);
/// Load the listed files (absolute paths).
QString loadFilesMsg(const QStringList &files);
/// Run the 2D analysis on a slice, given as its five-digit text.
QString exec2dAMsg(const QString &sliceNo);

/// The paths among `paths` that the wire cannot carry as they are: those holding white space (the
/// viewer splits them) or characters outside Latin-1 (they arrive as "?").
QStringList pathsTheWireBreaks(const QStringList &paths);

/// Where the viewer listens.
struct Endpoint
{
    QString host;
    int port = 0; // 0: no usable port
};

inline const QString defaultEndpoint = QStringLiteral("localhost 6078");

/// Reads "HOST PORT" (items as the configuration file cuts them). A missing port is the viewer's
/// usual 6078; a port that is not a number from 1 to 65535 gives 0 and a debug message.
Endpoint parseEndpoint(const QString &text);

/// The endpoint text of the configuration: the items after the key of the last "2dZelmap" line of
/// the configuration files (the store keeps only the first of them), else the stored value, else
/// the default.
QString configuredEndpointText();

} // namespace zelmap
