// The batch words of the sequential run and its alignment, and of the "XANES" tab: its fields, the
// analysis and the maps' files, each line done when its work has ended.

#include "app/batchbindings.h"

// Qt
#include <QCheckBox>
#include <QDebug>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

// Local
#include "app/windowlog.h"
#include "app/seqcontroller.h"
#include "app/windowparts.h"
#include "automation/ui/selectdatadir.h"
#include "ui_body.h"
#include "xafs/ui/xanespanel.h"

void BatchController::bindXanes(Bindings &b)
{
    using O = Outcome;
    const auto key = [](const char *word) { return QString::fromLatin1(word).toUpper(); };
    b.flags.insert(key("seq_exec_align"), parts_.ui.SeqAlign);
    b.others.insert(key("seq_exec_calc"), [this](const BatchCmd &, bool fromBatch) {
        // "Seq. Calc." over From … To; the line is done when the run (and its alignment) has ended.
        if (peers_.seq.isRunning()) {
            qCCritical(lcWindow).noquote() << "seq_exec_calc: a Seq. Calc. run is under way";
            return O {Completion::Now, false};
        }
        if (parts_.ui.SelDDir->series().empty()) {
            qCCritical(lcWindow).noquote() << "seq_exec_calc: no data set is listed (seq_exec_dir)";
            return O {Completion::Now, false};
        }
        if (fromBatch)
            line_.wait = LineWait::Sequence;
        parts_.ui.SeqCalc->click();
        return O {fromBatch ? Completion::AfterSequence : Completion::Now};
    });
    const XanesPanel::Controls &c = peers_.xanes.controls();
    const std::pair<const char *, QLineEdit *> fields[] = {{"xanes_source", c.source}, {"xanes_edge", c.edge},
        {"xanes_pre", c.pre}, {"xanes_post", c.post}, {"xanes_edge_window", c.edgeWindow}, {"xanes_fit", c.fit},
        {"xanes_standards", c.standards}, {"xanes_min_jump", c.minJump}, {"xanes_pixel_size", c.pixelSize},
        {"xanes_save_dir", c.saveDir}};
    for (auto [word, field] : fields)
        b.texts.insert(key(word), [field = field](const QString &text) { field->setText(text); });
    b.flags.insert(key("xanes_sum_to_one"), c.sumToOne);

    // The analysis and the files: a batch line waits for their end, and fails with them.
    b.others.insert(key("xanes_exec"), [this](const BatchCmd &, bool fromBatch) {
        if (fromBatch)
            line_.wait = LineWait::Xanes;
        if (!peers_.xanes.analyse()) { // refused at once, said why
            line_.wait = LineWait::None;
            return O {Completion::Now, false};
        }
        return O {fromBatch ? Completion::AfterXanes : Completion::Now};
    });
    b.others.insert(key("xanes_save_maps"), [this, c](const BatchCmd &cmd, bool fromBatch) {
        if (!cmd.args.isEmpty())
            c.saveDir->setText(textArg(cmd));
        if (fromBatch)
            line_.wait = LineWait::Xanes;
        if (!peers_.xanes.saveMaps(c.saveDir->text())) {
            line_.wait = LineWait::None;
            return O {Completion::Now, false};
        }
        return O {fromBatch ? Completion::AfterXanes : Completion::Now};
    });
    b.others.insert(key("show_xanes"), [this](const BatchCmd &, bool) {
        if (QWidget *page = parts_.ui.ImgsTab->findChild<QWidget *>(QStringLiteral("XanesTab")))
            emit showPage(page);
        return O {};
    });
}
