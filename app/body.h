#pragma once

// Qt
#include <QFrame>

// Local
#include "ui_body.h"

class RawDisp;

/// The main window: owns every panel, worker and thread, and wires them together.
class Body : public QFrame
{
    Q_OBJECT
public:
    explicit Body(QWidget *parent = nullptr);
    ~Body() override;

    RawDisp *rawDisp() const { return rawDisp_; }

signals:
    void finishing();
    void callBatchLoad(const QString &fileName);
    void callBatchExec();

public slots:
    /// Hands a batch file to the batch interpreter.
    void batchLoad(const QString &fileName);
    /// Starts the loaded batch.
    void batchExec();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Ui_Body ui_;
    RawDisp *rawDisp_ = nullptr;
};
