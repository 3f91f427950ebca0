#pragma once

#include <QDialog>

namespace Ui {
class ChangeBoundryValue;
}

// Edits the twelve Limits. Apply stores them all under one hold of stateMutex and
// then emits MaxMinDataNeedReload(); a pair whose minimum is not below its maximum
// is refused with a message box and nothing is stored.
class ChangeBoundryValue : public QDialog
{
    Q_OBJECT

public:
    explicit ChangeBoundryValue(QWidget *parent = nullptr);
    ~ChangeBoundryValue() override;

    // Shows the Limits as they are now; nothing is left to apply.
    void showLimits();

signals:
    void MaxMinDataNeedReload();

private slots:
    void on_btnApply_clicked();
    void uiBtnEnabled();

private:
    Ui::ChangeBoundryValue *ui;
};
