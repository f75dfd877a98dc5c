#pragma once

// Qt
#include <QString>
#include <QStringList>

/// How a batch command acts on the window.
enum class BatchFamily {
    Flag, // sets a check box (or radio button) to a flag
    RadioPair, // a flag chooses one of two radio buttons
    Number, // passes a number to a setter
    Text, // puts a text into a field or selector
    Clear, // empties a list, selector or fields
    Other, // each with its own behaviour
};

struct BatchCommandEntry
{
    QString word; // as written in files; compared without regard to case
    BatchFamily family;
};

/// The command set, in the order the executor tests it: the window's 83 commands, then the ones
/// added for unattended runs ("ct_guess_cor", "app_quit"), the rest of the 2dZelmap link
/// ("zelmapLink_connect", "zelmapLink_exec_2da", "zelmapLink_cont_2da"), float TIFF slices and ring
/// removal ("ct_ring_removal", "ct_ring_params"), uneven sets, the time a line may wait
/// ("batch_timeout"), offset-axis scans ("ct_offset_axis", "ct_offset_axis_cor"), the sequential run
/// and its alignment ("seq_exec_calc", "seq_exec_align"), the "XANES" tab ("xanes_…") and
/// "setup_load". The window's executor is built from this table: every word of it has an action,
/// and no other.
/// \test tst_batch.cpp
const QList<BatchCommandEntry> &batchCommandSet();

/// The position of `word` in the command set, compared without regard to case; −1 for a word the
/// executor does not know (flow words, headings, blank lines).
int batchCommandIndex(const QString &word);
