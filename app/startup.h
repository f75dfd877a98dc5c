#pragma once

/// The program entry: command line, configuration, translation, main window, event loop.
int runQuorvel(int argc, char *argv[]);
