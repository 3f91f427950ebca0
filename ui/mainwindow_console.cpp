// The configuration console: commands typed to the motor firmware's menu, replies
// appended with time stamps.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTime>

namespace {
// Appends `text` to the log as a new paragraph of plain text: what the firmware sends is
// shown exactly as sent, never taken for markup. Keeps the log following its end when it
// was showing the end, as QTextEdit::append does.
void appendPlain(QTextEdit *log, const QString &text)
{
    QScrollBar *bar = log->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    const QTextCursor current = log->textCursor();
    QTextCursor end(log->document());
    end.movePosition(QTextCursor::End);
    if (log->document()->isEmpty())
        end.setCharFormat(current.charFormat());
    else
        end.insertBlock(current.blockFormat(), current.charFormat());
    end.insertText(text);
    if (atEnd)
        bar->setValue(bar->maximum());
}
} // namespace

void MainWindow::on_editCommand_returnPressed()
{
    const QString stamp = QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
    appendPlain(ui->editConfig, QStringLiteral("\n[") + stamp + QStringLiteral("]\n"));
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
    appendPlain(ui->editConfig, text);
}
