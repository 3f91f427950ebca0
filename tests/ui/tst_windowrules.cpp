// The window's decisions, without a window or a timer: events and times go in, what to
// send, show or select comes out. Each rule is one table of stories; the expected values
// come from the rules themselves, worked out by hand.
#include "feedbackwatch.h"
#include "keynudge.h"
#include "modeswitch.h"
#include "motorstate.h"
#include "parametercheck.h"
#include "portentries.h"
#include "rememberedchoices.h"
#include "statusline.h"
#include "unsavedrun.h"
#include "windowfit.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const char *const ratePrefix = "USB data error : ";

QString stepName(ModeSwitch::Answer a)
{
    static const char *const names[] = {"None",      "AskConfig", "AskDisplay", "KeepTab",
                                        "FollowTab", "Retry",     "Entered",    "GiveUp"};
    const QString name = QLatin1String(names[int(a.step)]);
    return a.step == ModeSwitch::Step::KeepTab || a.step == ModeSwitch::Step::GiveUp
               ? name + QString::number(a.tab)
               : name;
}

int keyCode(const QString &name)
{
    const QHash<QString, int> keys = {{"L", Qt::Key_Left}, {"R", Qt::Key_Right},  {"U", Qt::Key_Up},
                                      {"D", Qt::Key_Down}, {"E", Qt::Key_Escape}, {"A", Qt::Key_A}};
    return keys.value(name);
}
} // namespace

class TestWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void statusLine_data();
    void statusLine();
    void modeSwitch_data();
    void modeSwitch();
    void keyNudge_data();
    void keyNudge();
    void parameterCheck_data();
    void parameterCheck();
    void rememberedChoices_data();
    void rememberedChoices();
    void startPort_data();
    void startPort();
    void unsavedRun();
    void feedbackWatch_data();
    void feedbackWatch();
    void windowFit_data();
    void windowFit();
};

// Steps "<ms> <text>" post a text ("rate N" is the decoder's rate N.00 %), "<ms> live"
// and "<ms> dead" say whether rates describe a live stream. A rate due by a step's time
// is shown first, as the window's timer does; `at` -1 looks right after the last step.
void TestWindowRules::statusLine_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char *name, const char *steps, int at, const char *shown) {
        QTest::newRow(name) << QString(steps).split(';') << at << QString(shown);
    };
    row("a rate shows at once", "0 live;0 rate 1", 0, "rate 1");
    row("a message holds a rate back", "0 live;0 Connected;100 rate 1", 2999, "Connected");
    // After a connection the first rate comes within the hold, and never changes after.
    row("the held rate shows when the hold ends", "0 live;0 Connected;100 rate 0", 3000, "rate 0");
    row("the newest held rate", "0 live;0 Connected;100 rate 1;200 rate 2", 3000, "rate 2");
    row("a rate after the hold shows at once", "0 live;0 Connected;3000 rate 2", -1, "rate 2");
    row("a rate seen before the message comes back", "0 live;0 rate 1;5000 Invalid", 8000,
        "rate 1");
    row("a new message restarts the hold", "0 live;0 rate 1;1000 A;2000 B", 4999, "B");
    row("then the rate returns", "0 live;0 rate 1;1000 A;2000 B", 5000, "rate 1");
    row("a message alone stays", "0 Disconnected", 60000, "Disconnected");
    row("rates of no live stream are dropped", "0 Disconnected;100 rate 1", 60000, "Disconnected");
    row("a stale rate never returns", "0 live;0 rate 1;10 dead;20 Disconnected", 60000,
        "Disconnected");
    row("a release ends the hold at once", "0 live;0 rate 1;100 No feedback;200 release", 200,
        "rate 1");
    row("a release with no rate empties the line", "0 No feedback;100 release", 100, "");
}

void TestWindowRules::statusLine()
{
    QFETCH(QStringList, steps);
    QFETCH(int, at);
    QFETCH(QString, shown);
    StatusLine line{QLatin1String(ratePrefix)};
    QString text;
    const auto fireTimer = [&](qint64 now) {
        if (line.rateDueAt() >= 0 && line.rateDueAt() <= now)
            text = line.takeDueRate(line.rateDueAt());
    };
    for (const QString &step : steps) {
        const qint64 now = step.section(' ', 0, 0).toLongLong();
        QString posted = step.section(' ', 1);
        fireTimer(now);
        if (posted == "release") {
            text = line.release();
            continue;
        }
        if (posted == "live" || posted == "dead") {
            line.setRatesLive(posted == "live");
            continue;
        }
        if (posted.startsWith("rate "))
            posted = ratePrefix + posted.mid(5) + ".00%";
        if (line.post(posted, now))
            text = posted;
    }
    if (at >= 0)
        fireTimer(at);
    QCOMPARE(text.replace(ratePrefix, "rate ").remove(".00%"), shown);
    // Once a rate shows, nothing more is due.
    if (shown.startsWith("rate"))
        QCOMPARE(line.rateDueAt(), qint64(-1));
}

// Events: "connect", "disconnect", "click N" (connected) or "click N off", "config ok",
// "config no", "display ok", "display no" (N× repeats it). Each event's answer is listed;
// the tab bar shows the clicked tab unless the answer puts it elsewhere.
void TestWindowRules::modeSwitch_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("answers");
    QTest::newRow("connect asks for display mode, retried five times")
        << "connect;5×display no;display ok"
        << "AskDisplay 5×Retry Entered";
    QTest::newRow("the sixth refusal gives up on the last tab")
        << "connect;display ok;click 3;config ok;click 1;6×display no"
        << "AskDisplay Entered AskConfig Entered AskDisplay 5×Retry GiveUp3";
    QTest::newRow("a refused console returns to the plot tab")
        << "connect;display ok;click 2;click 3;6×config no;click 3"
        << "AskDisplay Entered FollowTab AskConfig 5×Retry GiveUp2 AskConfig";
    QTest::newRow("plot tabs wait while the console is asked for")
        << "connect;display ok;click 3;click 1;click 3;config ok;click 3"
        << "AskDisplay Entered AskConfig KeepTab3 None Entered None";
    QTest::newRow("the console waits for the switch back to display mode")
        << "connect;display ok;click 3;config ok;click 1;click 3;display ok"
        << "AskDisplay Entered AskConfig Entered AskDisplay KeepTab1 Entered";
    QTest::newRow("the console waits for the display switch")
        << "connect;click 3;click 1;display ok;click 3"
        << "AskDisplay KeepTab0 None Entered AskConfig";
    QTest::newRow("disconnected, or beside the tabs: nothing")
        << "click 3 off;connect;display ok;click -1;disconnect;click 3 off"
        << "None AskDisplay Entered None None";
    QTest::newRow("a disconnection ends a pending switch and its retries")
        << "connect;3×display no;disconnect;connect;5×display no;display ok"
        << "AskDisplay 3×Retry AskDisplay 5×Retry Entered";
}

void TestWindowRules::modeSwitch()
{
    QFETCH(QString, events);
    QFETCH(QString, answers);
    ModeSwitch modes;
    int shown = 0;
    QStringList got;
    for (QString event : events.split(';')) {
        int times = 1;
        if (event.contains("×")) {
            times = event.section("×", 0, 0).toInt();
            event = event.section("×", 1);
        }
        for (int i = 0; i < times; ++i) {
            const QStringList words = event.split(' ');
            ModeSwitch::Answer a;
            if (words[0] == "connect") {
                a = modes.connected();
                shown = 0;
            } else if (words[0] == "disconnect") {
                modes.disconnected();
            } else if (words[0] == "click") {
                const int tab = words[1].toInt();
                a = modes.tabClicked(tab, words.size() < 3, shown);
                if (tab >= 0)
                    shown = tab;
            } else {
                const bool ok = words[1] == "ok";
                a = words[0] == "config" ? modes.configAnswered(ok, shown)
                                         : modes.displayAnswered(ok, shown);
            }
            if (a.step == ModeSwitch::Step::KeepTab || a.step == ModeSwitch::Step::GiveUp)
                shown = a.tab;
            if (words[0] != "disconnect")
                got << stepName(a);
        }
    }
    // A run of retries reads "N×Retry".
    QStringList compact;
    int retries = 0;
    for (const QString &answer : got + QStringList{"end"}) {
        if (answer == "Retry") {
            ++retries;
            continue;
        }
        if (retries)
            compact << (retries > 1 ? QString("%1×Retry").arg(retries) : QString("Retry"));
        retries = 0;
        compact << answer;
    }
    compact.removeLast();
    QCOMPARE(compact.join(' '), answers);
}

// Events: "pX" press key X (L R U D E A), "pX*" an auto-repeated press, "rX" release,
// "tN" N ticks, "x" every key forgotten (a new connection); "console" and "off" change the
// context of later presses. Expected: the offsets after all events, and whether the chain
// still runs.
void TestWindowRules::keyNudge_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("positionLimits");
    QTest::addColumn<QString>("result");
    const auto row = [](const char *name, const char *events, const char *result,
                        const char *positionLimits = "-95.5 95.5") {
        QTest::newRow(name) << QString(events) << QString(positionLimits) << QString(result);
    };
    // Steps of 95.5 / 60 = 1.591667 and 45 / 60 = 0.75; the test comes before the step.
    row("ten ticks of left", "pL t10", "15.917 0.000 armed");
    row("left stops after 30 steps", "pL t40", "47.750 0.000 armed");
    row("right stops after 30 steps", "pR t40 rR", "-47.750 0.000 idle");
    row("up stops after 31 steps", "pU t40", "0.000 23.250 armed");
    row("down stops after 31 steps", "pD t40", "0.000 -23.250 armed");
    row("left and right cancel", "pL pR t5", "0.000 0.000 armed");
    row("a tap inside a tick moves nothing", "pL rL t1", "0.000 0.000 idle");
    row("auto-repeats change nothing", "pL* t3", "0.000 0.000 idle");
    row("a repeat's release is no release", "pL rL* t2", "3.183 0.000 armed");
    row("another key runs an idle chain", "pA t3", "0.000 0.000 armed");
    row("a release ends it when no arrow is held", "pA pL rA t2", "3.183 0.000 armed");
    row("key control off: ignored", "off pL t3", "0.000 0.000 idle");
    row("in the console arrows do nothing", "console pL t3", "0.000 0.000 idle");
    // Steps of exactly 1: 30 of them reach half the limit, which is not yet past it.
    row("narrowed limits give the step and the stop", "pL t40", "31.000 0.000 armed", "-60 60");
    row("the stop is tested before the step", "pR t40", "-31.000 0.000 armed", "-60 60");
    row("a new connection forgets held keys", "pL pR x t3", "0.000 0.000 armed", "-95.5 60");
}

void TestWindowRules::keyNudge()
{
    QFETCH(QString, events);
    QFETCH(QString, positionLimits);
    QFETCH(QString, result);
    Limits narrowed;
    narrowed.positionMin = positionLimits.section(' ', 0, 0).toDouble();
    narrowed.positionMax = positionLimits.section(' ', 1).toDouble();
    KeyNudge keys;
    KeyNudge::Offsets offsets;
    bool console = false, on = true;
    for (const QString &e : events.split(' ')) {
        if (e == "x") {
            keys.releaseAll();
        } else if (e == "console" || e == "off") {
            console = e == "console";
            on = e != "off";
        } else if (e[0] == 't') {
            for (int i = e.mid(1).toInt(); i > 0; --i)
                offsets = keys.step(offsets, narrowed);
        } else if (e[0] == 'p') {
            keys.press(keyCode(e.mid(1, 1)), e.endsWith('*'), console, on);
        } else {
            keys.release(keyCode(e.mid(1, 1)), e.endsWith('*'));
        }
    }
    QCOMPARE(QString::asprintf("%.3f %.3f %s", double(offsets.position), double(offsets.velocity),
                               keys.armed() ? "armed" : "idle"),
             result);
    // Escape fills the console's command field only in the console.
    QCOMPARE(keys.press(Qt::Key_Escape, false, true, on), KeyNudge::Press::Escape);
    QCOMPARE(keys.press(Qt::Key_Escape, false, false, false), KeyNudge::Press::Ignored);
}

void TestWindowRules::parameterCheck_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<float>("stored");
    QTest::addColumn<QString>("message"); // empty: accepted
    const QString position = "Invalid data : Position should be within [-95.5,95.5]";
    QTest::newRow("at the top") << "95.5" << -95.5 << 95.5 << 95.5f << "";
    QTest::newRow("at the bottom") << "-95.5" << -95.5 << 95.5 << -95.5f << "";
    QTest::newRow("just above") << "95.6" << -95.5 << 95.5 << 0.f << position;
    QTest::newRow("blanks around") << " 3.25 " << -95.5 << 95.5 << 3.25f << "";
    QTest::newRow("infinity") << "inf" << -95.5 << 95.5 << 0.f << position;
    QTest::newRow("too large for a float") << "1e39" << -95.5 << 95.5 << 0.f << position;
    QTest::newRow("not a number reads 0") << "-" << -95.5 << 95.5 << 0.f << "";
    QTest::newRow("a comma is no decimal point") << "1,5" << -95.5 << 95.5 << 0.f << "";
    QTest::newRow("nan reads 0") << "nan" << -95.5 << 95.5 << 0.f << "";
    QTest::newRow("0 below the range")
        << "abc" << 1.0 << 500.0 << 0.f << "Invalid data : Position should be within [1,500]";
    QTest::newRow("six digits in the message")
        << "-1" << 0.0012345678 << 1234567.0 << 0.f
        << "Invalid data : Position should be within [0.00123457,1.23457e+06]";
}

void TestWindowRules::parameterCheck()
{
    QFETCH(QString, text);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(float, stored);
    QFETCH(QString, message);
    const ParameterCheck check = checkParameter(text, min, max, "Position");
    QCOMPARE(check.value, stored);
    QCOMPARE(check.accepted, message.isEmpty());
    QCOMPARE(check.message, message);
}

// A settings file as a user's disk may hold it, and the choices read from it.
void TestWindowRules::rememberedChoices_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("choices"); // port baud motor fields references hint
    QTest::newRow("what the window writes")
        << QByteArray("[port]\nlocation=/dev/ttyUSB1\nbaudRate=250000\n[motor]\nid=7\n"
                      "[command]\nfields=3, -1.5, 2, 10, 0.5\nreferenceLines=0, 1, 0\n"
                      "[plot]\nhintVisible=false\n")
        << "/dev/ttyUSB1 250000 7 3|-1.5|2|10|0.5 010 hidden";
    QTest::newRow("nonsense values")
        << QByteArray("[port]\nbaudRate=-5\n[motor]\nid=999\n[command]\n"
                      "fields=nan, 1e9, abc, 600, -1\nreferenceLines=x, y\n"
                      "[plot]\nhintVisible=0\n")
        << " 0 0 |||| - shown";
    QTest::newRow("limits of each field")
        << QByteArray("[motor]\nid=255\n[port]\nbaudRate=100000000\n[command]\n"
                      "fields=-95.5, 45.1, -18, 500, 5.0001\n")
        << " 100000000 255 -95.5||-18|500| - shown";
    // 32 characters are a field's most; a folder that is gone is none.
    QTest::newRow("lowest baud rate, longest field")
        << QByteArray("[port]\nbaudRate=1\n[command]\nfields=00000000000000000000000000000001, "
                      "000000000000000000000000000000001\n[recording]\nfolder=/nonexistent/k\n")
        << " 1 0 00000000000000000000000000000001|||| - shown";
    QTest::newRow("a baud rate past the top")
        << QByteArray("[port]\nbaudRate=100000001\n") << " 0 0 |||| - shown";
    QTest::newRow("not a settings file")
        << QByteArray("\x00\xff[[[=\n\x01\x02", 10) << " 0 0 |||| - shown";
}

void TestWindowRules::rememberedChoices()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, choices);
    QTemporaryDir dir;
    const QString path = dir.filePath("korvane.ini");
    QFile raw(path);
    QVERIFY(raw.open(QIODevice::WriteOnly) && raw.write(file) == file.size());
    raw.close();
    const QSettings store(path, QSettings::IniFormat);
    const RememberedChoices c = RememberedChoices::read(store, Limits());
    QString references;
    for (bool on : c.referenceLines)
        references += on ? '1' : '0';
    QCOMPARE(QString("%1 %2 %3 %4 %5 %6")
                 .arg(c.port)
                 .arg(c.baudRate)
                 .arg(c.motorId)
                 .arg(c.fields.join('|'), references.isEmpty() ? "-" : references,
                      c.hintVisible ? "shown" : "hidden"),
             choices);
    QVERIFY(!RememberedChoices::writtenByLaterBuild(store));
    QVERIFY(c.recordingFolder.isEmpty());
}

void TestWindowRules::startPort_data()
{
    QTest::addColumn<QString>("ports"); // "name=location" each
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<bool>("named");
    QTest::addColumn<bool>("connect");
    QTest::addColumn<QString>("choice"); // index, connect, message
    const QString two = "ttyUSB0=/dev/ttyUSB0 ttyUSB1=/dev/ttyUSB1";
    QTest::newRow("remembered location") << two << "/dev/ttyUSB1" << false << false << "1 no ";
    QTest::newRow("named by name, connect") << two << "ttyUSB1" << true << true << "1 yes ";
    QTest::newRow("remembered port gone") << two << "/dev/ttyUSB7" << false << true << "-1 yes ";
    QTest::newRow("named port missing: nothing opens")
        << two << "/dev/ttyUSB7" << true << true << "-1 no Port /dev/ttyUSB7 was not found.";
    QTest::newRow("connect with no port") << ""
                                          << "" << false << true << "-1 no No port to connect to.";
    QTest::newRow("nothing wanted") << two << "" << true << false << "-1 no ";
}

void TestWindowRules::startPort()
{
    QFETCH(QString, ports);
    QFETCH(QString, wanted);
    QFETCH(bool, named);
    QFETCH(bool, connect);
    QFETCH(QString, choice);
    QList<PortEntry> list;
    for (const QString &p : ports.split(' ', Qt::SkipEmptyParts)) {
        PortEntry e;
        e.name = p.section('=', 0, 0);
        e.location = p.section('=', 1);
        list << e;
    }
    const StartPortChoice c = chooseStartPort(list, wanted, named, connect);
    QCOMPARE(QString("%1 %2 %3").arg(c.index).arg(c.connect ? "yes" : "no", c.message), choice);
    // A custom baud rate that is not a decimal number is handed over as 0.
    QCOMPARE(baudRateFromText("230400") + baudRateFromText("12a") + baudRateFromText(""), 230400);
}

void TestWindowRules::unsavedRun()
{
    UnsavedRun run;
    QVERIFY(!run.needsQuestion(10)); // nothing recorded yet
    run.started();
    QVERIFY(!run.needsQuestion(0) && run.needsQuestion(1));
    QCOMPARE(UnsavedRun::question(3), QString("The recording of 3 samples has not been saved."));
    QCOMPARE(run.answered(UnsavedRun::Answer::Save), UnsavedRun::Outcome::SaveFirst);
    QCOMPARE(run.answered(UnsavedRun::Answer::Discard), UnsavedRun::Outcome::Proceed);
    QVERIFY(!run.needsQuestion(1));
}

// Refreshes "<ms> <samples>" while watching from 0 ms with 0 samples; "<ms> stop" ends
// display mode. The silence seen at the last refresh, or -1.
void TestWindowRules::feedbackWatch_data()
{
    QTest::addColumn<QString>("refreshes");
    QTest::addColumn<qint64>("silence");
    QTest::newRow("frames arriving") << "100 5;200 9;300 14" << qint64(-1);
    QTest::newRow("not yet half a second") << "100 5;599 5" << qint64(-1);
    QTest::newRow("half a second since the last frame") << "100 5;600 5" << qint64(500);
    QTest::newRow("counted from display mode") << "500 0" << qint64(500);
    QTest::newRow("frames return") << "100 5;2500 5;2600 6" << qint64(-1);
    QTest::newRow("a new connection's count is news") << "100 5;300 0;700 0" << qint64(-1);
    QTest::newRow("full histories are no silence")
        << QString("100 %1;5000 %1").arg(historyCapacity) << qint64(-1);
    QTest::newRow("nothing watched outside display mode") << "100 stop;5000 0" << qint64(-1);
}

void TestWindowRules::feedbackWatch()
{
    QFETCH(QString, refreshes);
    QFETCH(qint64, silence);
    FeedbackWatch watch;
    watch.start(0, 0);
    qint64 seen = -1;
    for (const QString &r : refreshes.split(';')) {
        if (r.endsWith("stop"))
            watch.stop();
        else
            seen = watch.silence(r.section(' ', 1).toLongLong(), r.section(' ', 0, 0).toLongLong());
    }
    QCOMPARE(seen, silence);
    QCOMPARE(FeedbackWatch::text(2449), QString("No feedback for 2.4 s"));
}

// The design is 1374 x 843 with a minimum of 1317 x 789; frames are a 30-pixel title bar.
void TestWindowRules::windowFit_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("current");
    QTest::addColumn<QRect>("fitted");
    QTest::addColumn<bool>("relax");
    const QRect design(0, 0, 1374, 843);
    QTest::newRow("room for the design")
        << QRect(0, 0, 1920, 1050) << design.translated(0, 30) << design.translated(0, 30) << false;
    QTest::newRow("a remembered place is kept")
        << QRect(0, 0, 1920, 1050) << QRect(300, 130, 1400, 900) << QRect(300, 130, 1400, 900)
        << false;
    QTest::newRow("laptop, 1366 x 768 less a panel")
        << QRect(0, 0, 1366, 740) << design << QRect(0, 30, 1366, 710) << true;
    QTest::newRow("1280 x 720, or 2560 x 1440 at scale 2")
        << QRect(0, 0, 1280, 720) << design << QRect(0, 30, 1280, 690) << true;
    QTest::newRow("moved inside a second screen")
        << QRect(1920, 0, 1280, 720) << QRect(3000, 500, 1374, 843) << QRect(1920, 30, 1280, 690)
        << true;
    QTest::newRow("off every edge, room enough")
        << QRect(0, 0, 1920, 1050) << QRect(-500, 900, 1374, 843) << QRect(0, 207, 1374, 843)
        << false;
}

void TestWindowRules::windowFit()
{
    QFETCH(QRect, available);
    QFETCH(QRect, current);
    QFETCH(QRect, fitted);
    QFETCH(bool, relax);
    const WindowFit fit =
        fitWindow(QSize(1374, 843), QSize(1317, 789), current, available, QMargins(0, 30, 0, 0));
    QCOMPARE(fit.geometry, fitted);
    QCOMPARE(fit.relax, relax);
}

QTEST_GUILESS_MAIN(TestWindowRules)
#include "tst_windowrules.moc"
