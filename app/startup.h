#pragma once

// Local
#include <memory>
#include <vector>

class QTranslator;

/// The program entry: command line, configuration, translation, main window, event loop.
int runQuorvel(int argc, char *argv[]);

/// Installs the Japanese translation of the interface and of the toolkit's own texts (file dialogs,
/// standard buttons) when they can be found; the caller keeps the translators alive while they
/// are installed. Needs the application object.
std::vector<std::unique_ptr<QTranslator>> installJapanese();
