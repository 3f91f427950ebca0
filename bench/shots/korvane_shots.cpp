// Drives the window against the motor simulator the way a user would and saves a
// picture of each tab and one of a fitted plot with the cursor readout, for looking at
// the tool with real-looking data.
//
//   xvfb-run -s "-screen 0 1600x1000x24" build/bench/korvane_shots [output dir]
#include "mainwindow.h"
#include "motorstate.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

namespace {
void type(QWidget *window, const char *field, const QString &text)
{
    auto *edit = window->findChild<QLineEdit *>(QLatin1String(field));
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

void click(QWidget *window, const char *button)
{
    QTest::mouseClick(window->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("shots");
    QDir().mkpath(out);
    const QString binDir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    prepareMotorState(binDir);

    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/sim");
    QProcess sim;
    sim.start(binDir + QStringLiteral("/korvane-sim"),
              {QStringLiteral("--link"), link, QStringLiteral("--motor-id"), QStringLiteral("0"),
               QStringLiteral("--noise"), QStringLiteral("1")});
    if (!sim.waitForReadyRead(5000))
        return 1;
    qputenv("KORVANE_EXTRA_PORTS", link.toLocal8Bit());

    MainWindow window;
    window.show();
    auto *combo = window.findChild<QComboBox *>(QStringLiteral("comboPort"));
    if (!QTest::qWaitFor([&] { return combo->findText(link, Qt::MatchStartsWith) >= 0; }, 5000))
        return 1;
    combo->setCurrentIndex(combo->findText(link, Qt::MatchStartsWith));
    click(&window, "btnConnect");
    if (!QTest::qWaitFor(
            [&] {
                return window.findChild<QPushButton *>(QStringLiteral("btnSendOnce"))->isEnabled();
            },
            8000))
        return 1;

    window.findChild<QCheckBox *>(QStringLiteral("ckbPosion"))->setChecked(true);
    window.findChild<QCheckBox *>(QStringLiteral("ckbVelocity"))->setChecked(true);
    click(&window, "btnMotorMode");
    const QList<QPair<QString, int>> steps = {
        {QStringLiteral("25"), 600}, {QStringLiteral("-30"), 700}, {QStringLiteral("15"), 700}};
    type(&window, "editkp", QStringLiteral("20"));
    type(&window, "editKd", QStringLiteral("1"));
    for (const auto &step : steps) {
        click(&window, "btnStop");
        type(&window, "editPosition", step.first);
        click(&window, "btnRun");
        QTest::qWait(step.second);
    }

    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    const char *names[] = {"position", "velocity", "current"};
    for (int i = 0; i < 3; ++i) {
        tabs->setCurrentIndex(i);
        QMetaObject::invokeMethod(&window, "reCalculateHScroll");
        QTest::qWait(150);
        const QString path = out + QStringLiteral("/tab_%1.png").arg(QLatin1String(names[i]));
        window.grab().save(path);
        std::printf("%s\n", qPrintable(path));
    }
    // The position plot fitted to its samples, with the readout of the sample under the pointer.
    tabs->setCurrentIndex(0);
    auto *plot = window.findChild<QWidget *>(QStringLiteral("plotPosition"));
    QTest::qWait(150);
    QTest::mouseDClick(plot, Qt::LeftButton, Qt::NoModifier, plot->rect().center());
    QTest::qWait(150);
    QTest::mouseMove(plot, QPoint(plot->width() * 2 / 5, plot->height() / 2));
    QTest::qWait(150);
    const QString fitted = out + QStringLiteral("/fitted_position.png");
    window.grab().save(fitted);
    std::printf("%s\n", qPrintable(fitted));

    click(&window, "btnStop");
    click(&window, "btnMotorExit");
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}
