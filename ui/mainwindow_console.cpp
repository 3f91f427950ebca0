// The configuration console: commands typed to the motor firmware's menu, replies
// appended with time stamps.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QTime>

void MainWindow::on_editCommand_returnPressed()
{
    const QString stamp = QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
    ui->editConfig->append(QStringLiteral("\n[") + stamp + QStringLiteral("]\n"));
    const QString command = ui->editCommand->text();
    // The menu's escape key is typed as the token "[esc]" and sent as the ESC byte.
    if (command == QLatin1String("[esc]"))
        emit sendConfigText(QString(QChar(27)));
    else
        emit sendConfigText(command.simplified());
    ui->editCommand->clear();
}

void MainWindow::appendConfigText(QString text)
{
    ui->editConfig->append(text);
}
