#include "app/startup.h"

// Qt
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QScreen>
#include <QStyleFactory>
#include <QTranslator>

// Local
#include "config/saidtext.h"
#include "app/body.h"
#include "config/configstore.h"
#include "config/messagelog.h"
#include "config/startupoptions.h"
#include "app/windowlog.h"
#include <cstdio>
#include <memory>

namespace {

// Without a window nothing is ever shown: it always draws off screen, so that a display that has
// gone (a re-attached terminal session over ssh, a cluster node) cannot end the run.
void chooseHeadlessPlatform(bool noWindow)
{
    if (noWindow)
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Without a window nobody could end the program: it runs a batch file to its end, or not at all.
bool headlessUsageIsComplete(const ConfigStore &config)
{
    if (!config.contains(QStringLiteral("-nw")))
        return true;
    return config.contains(QStringLiteral("-x")) && config.contains(QStringLiteral("-b"))
        && !config.configValue(QStringLiteral("-b"), QString()).isEmpty();
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
    if (!headlessUsageIsComplete(config)) {
        std::fputs(
            "quorvel: -nw runs a batch file without a window and ends with it: give -b FILE -x\n"
            "usage: quorvel [-c CONFIG] [-d DATADIR] [-e] [-b BATCHFILE [-x]] [-nw -b BATCHFILE -x] [-s N]\n",
            stderr);
        return 2;
    }
    chooseHeadlessPlatform(config.contains(QStringLiteral("-nw")));

    auto app = std::make_unique<QApplication>(argc, argv);
    // From here on every message also reaches the window's "Messages" pane, those of start-up too.
    MessageLog::install();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    // A configuration file named on the command line must be there; the default one may simply not be.
    const QString configName = configFileName(config);
    const bool named = config.contains(QStringLiteral("-c")) || config.contains(QStringLiteral("-config"));
    // A missing default file is said once the translation is in, in the operator's language.
    const bool noConfigFile = !named && !QFileInfo::exists(configName);
    if (!noConfigFile && !config.readConfigFile(configName) && named) {
        // A mistyped name would run everything on built-in settings: a usage error, as a bad option.
        std::fprintf(stderr, "quorvel: the configuration file %s given with -c cannot be read\n",
            QFile::encodeName(configName).constData());
        return 2;
    }
    const StartupOptions options = applyStartupOptions(config);

    std::vector<std::unique_ptr<QTranslator>> translators;
    if (!options.noTranslation)
        translators = installJapanese();
    if (noConfigFile)
        qCInfo(lcWindow).noquote()
            << QV_SAID_IN("Startup", "No configuration file %1 here: built-in settings").arg(configName);

    auto body = std::make_unique<Body>();
    QObject::connect(body.get(), &Body::finishing, app.get(), &QApplication::quit);
    if (!options.noWindow) {
        body->show();
        // Open at a comfortable size on the current screen, its frame on the screen too (a laptop's
        // 1366 x 768 holds the whole window).
        const QRect screen = body->screen()->availableGeometry();
        const QSize frame = (body->frameGeometry().size() - body->size()).expandedTo(QSize(0, 0));
        body->resize(body->size()
                         .expandedTo(QSize(screen.width() * 9 / 10, screen.height() * 9 / 10))
                         .boundedTo(screen.size() - frame));
        if (!screen.contains(body->frameGeometry()))
            body->move(screen.topLeft());
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
