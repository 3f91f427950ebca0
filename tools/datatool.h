#pragma once

#include <QDialog>

namespace Ui {
class DataTool;
}

// Converts between the 8 data bytes of a command's control payload, typed as
// hexadecimal, and the five control parameters, using the current Limits.
// Works offline: it neither touches the shared motor state nor sends anything.
class DataTool : public QDialog
{
    Q_OBJECT

public:
    explicit DataTool(QWidget *parent = nullptr);
    ~DataTool() override;

public slots:
    // Sets the five spin-box ranges from the current Limits; values outside a new
    // range are pulled into it.
    void reloadLimits();

private slots:
    void on_btnToPara_clicked();
    void on_btnToCan_clicked();

private:
    Ui::DataTool *ui;
};
