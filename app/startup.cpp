#include "app/startup.h"

// Qt
#include <QApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QStyleFactory>
#include <QTranslator>

// Local
#include "app/body.h"
#include "app/config/configstore.h"
#include "app/config/messagelog.h"
#include "app/config/startupoptions.h"
#include <memory>

namespace {

// Without a window the program needs no display: where none is reachable (over ssh, on a cluster
// node) it draws off screen, unless a platform was chosen explicitly.
void chooseHeadlessPlatform(bool noWindow)
{
    if (noWindow && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace

std::vector<std::unique_ptr<QTranslator>> installJapanese()
{
    std::vector<std::unique_ptr<QTranslator>> installed;
    auto load = [&installed](const QString &name, const QString &dir) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(name, dir) && QCoreApplication::installTranslator(translator.get()))
            installed.push_back(std::move(translator));
    };
    load(QStringLiteral(":quorvel_ja_JP"), QCoreApplication::applicationDirPath());
    // The toolkit's texts come from its own translation, where the system keeps it.
    if (!installed.empty())
        load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return installed;
}

int runQuorvel(int argc, char *argv[])
{
    ConfigStore &config = ConfigStore::instance();
    config.parseArguments(argc, argv);
    chooseHeadlessPlatform(config.contains(QStringLiteral("-nw")));

    auto app = std::make_unique<QApplication>(argc, argv);
    // From here on every message also reaches the window's "Messages" pane, those of start-up too.
    MessageLog::install();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    config.readConfigFile(configFileName(config)); // a missing file only leaves a debug message
    const StartupOptions options = applyStartupOptions(config);

    std::vector<std::unique_ptr<QTranslator>> translators;
    if (!options.noTranslation)
        translators = installJapanese();

    auto body = std::make_unique<Body>();
    QObject::connect(body.get(), &Body::finishing, app.get(), &QApplication::quit);
    if (!options.noWindow) {
        body->show();
        // Open at a comfortable size on the current screen rather than at the layouts' minimum.
        const QRect screen = body->screen()->availableGeometry();
        body->resize(body->size()
                         .expandedTo(QSize(screen.width() * 9 / 10, screen.height() * 9 / 10))
                         .boundedTo(screen.size()));
    }
    // Nobody can act on a window that is not shown: a batch run started without one ends the program.
    body->setQuitWhenBatchEnds(options.noWindow && options.execBatch);
    if (options.loadBatch) {
        body->batchLoad(options.batchFile);
        if (options.execBatch)
            body->batchExec();
    }
    int code = QApplication::exec();
    if (code == 0)
        code = body->exitStatus();
    body.reset();
    translators.clear();
    app.reset();
    return code;
}
