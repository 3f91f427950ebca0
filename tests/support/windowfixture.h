#pragma once

// The real main window under test, offscreen, and the modal dialogs it opens answered
// from their own event loops.
#include "child.h"
#include "mainwindow.h"
#include "motorstate.h"

#include <QtTest>
#include <QtWidgets>

// Calls `change` with stateMutex held and returns what it returns.
template <typename F> auto locked(F change)
{
    QMutexLocker lock(&stateMutex);
    return change();
}

// A test's window; test classes derive from it to reach the window's widgets by name.
struct WindowFixture
{
    MainWindow *window = nullptr;

    ~WindowFixture() { delete window; }
    // Where the built programs and the logo are.
    static QString binDir()
    {
        return qEnvironmentVariable("KORVANE_BIN_DIR",
                                    QCoreApplication::applicationDirPath() + "/../bin");
    }
    // The port lists hold the serial ports only: the virtual CAN bus lists interfaces on
    // every machine.
    static bool prepare()
    {
        return qputenv("KORVANE_CAN_PLUGINS", "") && prepareMotorState(binDir());
    }
    // A new window, shown; it scans the ports as it starts.
    MainWindow *open()
    {
        delete window;
        window = new MainWindow;
        window->show();
        return window;
    }
    template <typename T> T *find(const char *name) const { return child<T>(window, name); }
    QString status() const { return find<QLabel>("labMainStatus")->text(); }
    void click(const char *button) const
    {
        QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton);
    }
    void clickTab(int index) const
    {
        QTabBar *bar = find<QTabWidget>("tabWidget")->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(index).center());
    }
};

// While it lives, answers every file dialog with `file` (rejects it when `file` is empty)
// and every message box with the first of `buttons`, taking it off unless it is the last
// (with none, the box's default); lists what was asked: "<title> in <folder>" for a dialog,
// the text for a box.
class DialogAnswerer
{
public:
    QString file;
    QList<QMessageBox::StandardButton> buttons;
    QStringList asked;

    DialogAnswerer()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start(20);
    }

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            asked << box->text();
            const auto answer = buttons.size() > 1 ? buttons.takeFirst() : buttons.value(0);
            if (QAbstractButton *b = box->button(answer))
                return b->click();
            return box->accept();
        }
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return;
        asked << dialog->windowTitle() + " in " + dialog->directory().path();
        if (file.isEmpty())
            return dialog->reject();
        dialog->findChild<QLineEdit *>("fileNameEdit")->setText(file);
        // Past the dialog's own checks, which wait for its folder listing.
        static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
    }
    QTimer m_timer;
};
