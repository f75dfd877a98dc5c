// The batch words that load data and setups: "images_load", and "setup_load", which restores a
// setup file with the data set it names, done when that set has loaded and the rest is applied.

#include "app/batchbindings.h"

// Qt
#include <QDebug>

// Local
#include "app/loadcontroller.h"
#include "app/windowlog.h"
#include "app/windowparts.h"
#include "automation/setupfile.h"
#include "imagedata/ui/selectdatafiles.h"
#include "ui_body.h"

void BatchController::bindSetup(Bindings &b)
{
    using O = Outcome;
    const auto key = [](const char *word) { return QString::fromLatin1(word).toUpper(); };
    b.others.insert(key("images_load"), [this](const BatchCmd &c, bool fromBatch) {
        if (peers_.load.isBusy()) { // never two loading chains
            qCCritical(lcWindow).noquote()
                << "images_load: a load is in progress; this one is refused :" << textArg(c);
            return O {Completion::Now, false};
        }
        line_.loadDir = textArg(c);
        // The loading's end judges it: a batch line waits for it. A setup's set comes back whole,
        // whatever "New"/"Add" and "Repeat 1st" say.
        line_.loadAsker = fromBatch ? LoadAsker::Batch : LoadAsker::Line;
        using T = SelectDataFiles::Take;
        parts_.ui.CTFiles->selectDirFiles(
            line_.loadDir, c.args.mid(1), setupLine_ ? T::WholeNewSeries : T::AsSet);
        return O {fromBatch ? Completion::AfterLoading : Completion::Now};
    });
    b.others.insert(key("setup_load"), [this](const BatchCmd &c, bool fromBatch) {
        // Never asks: an unattended run loads the setup's data set in place of the one loaded.
        if (setupLine_) { // a setup naming itself would never end
            qCCritical(lcWindow).noquote() << "setup_load: not run from a setup file :" << textArg(c);
            return O {Completion::Now, false};
        }
        QString why;
        const std::optional<QStringList> lines = readSetupLines(textArg(c), why);
        if (!lines) {
            qCCritical(lcWindow).noquote() << "setup_load:" << why;
            return O {Completion::Now, false};
        }
        const std::optional<bool> now
            = loadSetupLines(textArg(c), *lines, false, [this](bool ok) { finishWait(LineWait::Setup, ok); });
        if (now)
            return O {Completion::Now, *now};
        if (fromBatch)
            line_.wait = LineWait::Setup;
        return O {fromBatch ? Completion::AfterSetup : Completion::Now};
    });
}
