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

#include <QtTest>

namespace {
const char *const ratePrefix = "USB data error : ";

// Declares a table's columns, one type each: columns<int, QString>({"at", "shown"}).
template <typename... T> void columns(std::initializer_list<const char *> names)
{
    auto name = names.begin();
    (QTest::addColumn<T>(*name++), ...);
}

// Adds the row `name`, one value for each column.
template <typename... T> void row(const char *name, const T &...values)
{
    (QTest::newRow(name) << ... << values);
}

// The items of `list`, with "N×item" standing for N of them.
QStringList expanded(const QString &list, QChar separator)
{
    QStringList items;
    for (const QString &item : list.split(separator))
        for (int i = item.contains("×") ? item.section("×", 0, 0).toInt() : 1; i > 0; --i)
            items << item.section("×", -1);
    return items;
}

QString stepName(ModeSwitch::Answer a)
{
    static const char *const names[] = {"None",      "AskConfig", "AskDisplay", "KeepTab",
                                        "FollowTab", "Retry",     "Entered",    "GiveUp"};
    const bool withTab = a.step == ModeSwitch::Step::KeepTab || a.step == ModeSwitch::Step::GiveUp;
    return names[int(a.step)] + (withTab ? QString::number(a.tab) : QString());
}

int keyCode(QChar name)
{
    const int keys[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_A};
    return keys[QString("LRUDA").indexOf(name)];
}
} // namespace

class TestWindowRules : public QObject
{
    Q_OBJECT

private slots:
    // Steps "<ms> <text>" post a text ("rate N" is the decoder's rate N.00 %), "<ms> live"
    // and "<ms> dead" say whether rates describe a live stream. A rate due by a step's time
    // is shown first, as the window's timer does; `at` -1 looks right after the last step.
    void statusLine_data()
    {
        columns<QString, int, QString>({"steps", "at", "shown"});
        row("a message holds a rate back", "0 live;0 Connected;100 rate 1", 2999, "Connected");
        // After a connection the first rate comes within the hold; the newest one shows.
        row("the newest held rate", "0 live;0 Connected;100 rate 1;200 rate 2", 3000, "rate 2");
        row("a rate after the hold shows at once", "0 live;0 Connected;3000 rate 2", -1, "rate 2");
        row("an earlier rate returns", "0 live;0 rate 1;5000 Invalid", 8000, "rate 1");
        row("a new message restarts the hold", "0 live;0 rate 1;1000 A;2000 B", 4999, "B");
        row("rates of no live stream are dropped", "0 Off;100 rate 1", 60000, "Off");
        row("a stale rate never returns", "0 live;0 rate 1;10 dead;20 Off", 60000, "Off");
        row("a release ends the hold", "0 live;0 rate 1;100 Silent;200 release", 200, "rate 1");
        row("a release with no rate empties the line", "0 No feedback;100 release", 100, "");
    }
    void statusLine()
    {
        QFETCH(QString, steps);
        QFETCH(int, at);
        QFETCH(QString, shown);
        StatusLine line{QLatin1String(ratePrefix)};
        QString text;
        const auto fireTimer = [&](qint64 now) {
            if (line.rateDueAt() >= 0 && line.rateDueAt() <= now)
                text = line.takeDueRate(line.rateDueAt());
        };
        for (const QString &step : steps.split(';')) {
            const qint64 now = step.section(' ', 0, 0).toLongLong();
            QString posted = step.section(' ', 1);
            fireTimer(now);
            if (posted == "release")
                text = line.release();
            else if (posted == "live" || posted == "dead")
                line.setRatesLive(posted == "live");
            else if (line.post(posted.replace("rate ", ratePrefix).append(".00%"), now))
                text = posted;
        }
        fireTimer(at);
        QCOMPARE(text.replace(ratePrefix, "rate ").remove(".00%"), shown);
        // Once a rate shows, nothing more is due.
        if (shown.startsWith("rate"))
            QCOMPARE(line.rateDueAt(), -1);
    }

    // Events: "connect", "disconnect", "click N" (connected) or "click N off", "config ok",
    // "config no", "display ok", "display no"; "N×" repeats one. Each event's answer is
    // listed; the tab bar shows the clicked tab unless the answer puts it elsewhere.
    void modeSwitch_data()
    {
        columns<QString, QString>({"events", "answers"});
        row("the sixth refusal gives up on the last tab",
            "connect;display ok;click 2;click 3;6×config no;click 3;config ok;click 1;6×display no",
            "AskDisplay Entered FollowTab AskConfig 5×Retry GiveUp2 AskConfig Entered AskDisplay "
            "5×Retry GiveUp3");
        // Plot tabs wait while the console is asked for, the console for display mode.
        row("each switch waits for the other",
            "connect;display ok;click 3;click 1;click 3;config ok;click 3;click 1;click 3;click 2;"
            "display ok",
            "AskDisplay Entered AskConfig KeepTab3 None Entered None AskDisplay KeepTab1 None "
            "Entered");
        row("off, beside the tabs, or after a disconnection: nothing pending",
            "click 3 off;connect;display ok;click -1;click 3;2×config no;disconnect;click 3 off;"
            "connect;5×display no;display ok;click 3;5×config no;config ok",
            "None AskDisplay Entered None AskConfig 2×Retry None AskDisplay 5×Retry Entered "
            "AskConfig 5×Retry Entered");
    }
    void modeSwitch()
    {
        QFETCH(QString, events);
        QFETCH(QString, answers);
        ModeSwitch modes;
        int shown = 0;
        QStringList got;
        for (const QString &event : expanded(events, ';')) {
            const QStringList words = event.split(' ');
            ModeSwitch::Answer a;
            if (words[0] == "connect") {
                a = modes.connected();
                shown = 0;
            } else if (words[0] == "disconnect") {
                modes.disconnected();
                continue;
            } else if (words[0] == "click") {
                const int tab = words[1].toInt();
                a = modes.tabClicked(tab, words.size() < 3, shown);
                shown = tab >= 0 ? tab : shown;
            } else {
                const bool ok = words[1] == "ok";
                a = words[0] == "config" ? modes.configAnswered(ok, shown)
                                         : modes.displayAnswered(ok, shown);
            }
            if (a.step == ModeSwitch::Step::KeepTab || a.step == ModeSwitch::Step::GiveUp)
                shown = a.tab;
            got << stepName(a);
        }
        QCOMPARE(got, expanded(answers, ' '));
    }

    // Events: "pX" press key X (L R U D, A for any other), "pX*" an auto-repeated press, "rX"
    // release, "tN" N ticks, "x" every key forgotten (a new connection). Expected: the offsets
    // after all events, and whether the chain still runs. The position limits are [-60, 90]: steps
    // of -1 and 1.5, and of 0.75 for the velocity's [-45, 45]; the test comes before the step, so
    // 30 steps reach half a limit exactly and one more passes it.
    void keyNudge_data()
    {
        columns<QString, QString>({"events", "result"});
        row("left and up stop after 31 steps", "pL pU t40", "46.500 23.250 armed");
        row("right and down; one held key runs on", "pR pD t40 rR", "-31.000 -23.250 armed");
        row("left and right together: both steps", "pL pR t5", "2.500 0.000 armed");
        row("a tap inside a tick moves nothing", "pL rL t1", "0.000 0.000 idle");
        row("auto-repeats change nothing", "pL* t3", "0.000 0.000 idle");
        row("a repeat's release is no release", "pL rL* t2", "3.000 0.000 armed");
        row("another key runs an idle chain", "pA t3", "0.000 0.000 armed");
        row("a new connection forgets held keys", "pL pR x t3", "0.000 0.000 armed");
    }
    void keyNudge()
    {
        QFETCH(QString, events);
        QFETCH(QString, result);
        Limits narrowed;
        narrowed.positionMin = -60;
        narrowed.positionMax = 90;
        KeyNudge keys;
        KeyNudge::Offsets offsets;
        for (const QString &e : events.split(' ')) {
            if (e == "x") {
                keys.releaseAll();
            } else if (e[0] == 't') {
                for (int i = e.mid(1).toInt(); i > 0; --i)
                    offsets = keys.step(offsets, narrowed);
            } else if (e[0] == 'p') {
                keys.press(keyCode(e[1]), e.endsWith('*'), false, true);
            } else {
                keys.release(keyCode(e[1]), e.endsWith('*'));
            }
        }
        QCOMPARE(QString::asprintf("%.3f %.3f %s", double(offsets.position),
                                   double(offsets.velocity), keys.armed() ? "armed" : "idle"),
                 result);
        // In the console, or with key control off, arrows do nothing; Escape fills the
        // console's command field, and only there.
        QCOMPARE(keys.press(Qt::Key_Left, false, true, true), KeyNudge::Press::Ignored);
        QCOMPARE(keys.press(Qt::Key_Left, false, false, false), KeyNudge::Press::Ignored);
        QCOMPARE(keys.press(Qt::Key_Escape, false, true, false), KeyNudge::Press::Escape);
        QCOMPARE(keys.press(Qt::Key_Escape, false, false, false), KeyNudge::Press::Ignored);
    }

    // A field's text, its range, the value stored and the message (empty: accepted).
    void parameterCheck_data()
    {
        columns<QString, double, double, float, QString>(
            {"text", "min", "max", "stored", "message"});
        const QString invalid = "Invalid data : Position should be within ";
        row("at the top", "95.5", -95.5, 95.5, 95.5f, "");
        row("at the bottom", "-95.5", -95.5, 95.5, -95.5f, "");
        row("blanks around", " 3.25 ", -95.5, 95.5, 3.25f, "");
        row("too large for a float", "1e39", -95.5, 95.5, 0.f, invalid + "[-95.5,95.5]");
        row("nan reads 0", "nan", -95.5, 95.5, 0.f, "");
        row("not a number reads 0, below the range", "abc", 1.0, 500.0, 0.f, invalid + "[1,500]");
        row("six digits in the message", "-1", 0.0012345678, 1234567.0, 0.f,
            invalid + "[0.00123457,1.23457e+06]");
    }
    void parameterCheck()
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

    // A settings file as a user's disk may hold it, and the choices read from it: port,
    // baud rate, motor, fields, reference lines, hint, recording folder, and "later" for a
    // later build's file.
    void rememberedChoices_data()
    {
        columns<QByteArray, QString>({"file", "choices"});
        row("what the window writes",
            QByteArray(
                "settingsVersion=1\n[port]\nlocation=/dev/ttyUSB1\nbaudRate=100000000\n[motor]\n"
                "id=255\n[command]\nfields=-95.5, -1.5, -18, 500, 0.5\nreferenceLines=0, 1, 0\n"
                "[plot]\nhintVisible=false\nsecondsAxis=true\n[recording]\nfolder=/\n"),
            "/dev/ttyUSB1 100000000 255 -95.5|-1.5|-18|500|0.5 010 hidden seconds /");
        // A version number too large for an integer is a later build's all the same.
        row("nonsense values, later build",
            QByteArray("settingsVersion=99999999999999999999\n[port]\nbaudRate=100000001\n"
                       "[motor]\nid=999\n[command]\nfields=nan, 1e9, abc, 600, -1\n"
                       "referenceLines=x, y\n[plot]\nhintVisible=0\nsecondsAxis=1\n"),
            " 0 0 |||| - shown samples - later");
        // 32 characters are a field's most; a folder that is gone is none.
        row("lowest baud rate, past each field's top",
            QByteArray("[port]\nbaudRate=1\n[command]\nfields=00000000000000000000000000000001, "
                       "000000000000000000000000000000001, 18.1, 500.1, 5.0001\n[recording]\n"
                       "folder=/nonexistent/k\n"),
            " 1 0 00000000000000000000000000000001|||| - shown samples -");
        row("not a settings file", QByteArray("\x00\xff[[[=\n\x01\x02", 10),
            " 0 0 |||| - shown samples -");
    }
    void rememberedChoices()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, choices);
        QTemporaryFile raw;
        QVERIFY(raw.open() && raw.write(file) == file.size() && raw.flush());
        const QSettings store(raw.fileName(), QSettings::IniFormat);
        const RememberedChoices c = RememberedChoices::read(store, Limits());
        QString references = c.referenceLines.isEmpty() ? "-" : "";
        for (bool on : c.referenceLines)
            references += on ? '1' : '0';
        QStringList got;
        got << c.port << QString::number(c.baudRate) << QString::number(c.motorId)
            << c.fields.join('|') << references << (c.hintVisible ? "shown" : "hidden")
            << (c.secondsAxis ? "seconds" : "samples")
            << (c.recordingFolder.isEmpty() ? "-" : c.recordingFolder);
        const bool later = RememberedChoices::writtenByLaterBuild(store);
        QCOMPARE(got.join(' ') + (later ? " later" : ""), choices);
    }

    void startPort_data()
    {
        // Ports named by path, the one wanted, whether it was named at start-up and whether a
        // connection was asked for; the entry chosen, whether to connect, the message.
        columns<QString, QString, QString, QString>({"ports", "wanted", "asked", "choice"});
        const QString two = "/dev/null /nonexistent/tty7 /dev/zero"; // the middle one is gone
        row("remembered location", two, "/dev/zero", "", "1 no ");
        row("named by name, connect", two, "zero", "named connect", "1 yes ");
        row("remembered port gone", two, "/nonexistent/tty7", "connect", "-1 yes ");
        row("named port missing: nothing opens", two, "/nonexistent/tty7", "named connect",
            "-1 no Port /nonexistent/tty7 was not found.");
        row("connect with no port", "", "", "connect", "-1 no No port to connect to.");
        row("nothing wanted", two, "", "named", "-1 no ");
    }
    void startPort()
    {
        QFETCH(QString, ports);
        QFETCH(QString, wanted);
        QFETCH(QString, asked);
        QFETCH(QString, choice);
        // Each named as the system would name its own.
        QList<PortEntry> list = availablePortEntries({}, ports.split(' ', Qt::SkipEmptyParts));
        for (PortEntry &e : list)
            e.name = e.location.section('/', -1);
        const StartPortChoice c =
            chooseStartPort(list, wanted, asked.contains("named"), asked.contains("connect"));
        QCOMPARE(QString("%1 %2 %3").arg(c.index).arg(c.connect ? "yes" : "no", c.message), choice);
        // A custom baud rate that is not a decimal number is handed over as 0.
        QCOMPARE(baudRateFromText("9600") + baudRateFromText("12a") + baudRateFromText(""), 9600);
    }

    void canPorts_data()
    {
        // KORVANE_CAN_PLUGINS ("unset" for none), the port named on the command line; the
        // entries listed of the plugins that list interfaces without hardware.
        columns<QString, QString, QString>({"plugins", "named", "listed"});
        row("by default neither virtual nor phantom", "unset", "", "");
        row("named interface listed", "unset", "virtualcan:can0", "virtualcan:can0");
        row("named and scanned, once", "virtualcan", "virtualcan:can1",
            "virtualcan:can0 virtualcan:can1");
        row("plugins asked for", "tinycan:virtualcan", "",
            "tinycan:can0.0 virtualcan:can0 virtualcan:can1");
        row("no such plugin", "unset", "nosuch:can0", "");
        row("a path is no interface", "", "/dev/ttyUSB0", "");
    }
    void canPorts()
    {
        QFETCH(QString, plugins);
        QFETCH(QString, named);
        QFETCH(QString, listed);
        if (plugins == "unset")
            qunsetenv("KORVANE_CAN_PLUGINS");
        else
            qputenv("KORVANE_CAN_PLUGINS", plugins.toLatin1());
        QStringList got;
        for (const PortEntry &e : CanPortScan().entries(named))
            if (!QStringList{"socketcan", "peakcan", "passthrucan"}.contains(e.canPlugin))
                got << e.location;
        got.sort();
        QCOMPARE(got.join(' '), listed);
    }

    void unsavedRun()
    {
        UnsavedRun run;
        QVERIFY(!run.needsQuestion(10)); // nothing recorded yet
        run.started();
        QVERIFY(!run.needsQuestion(0) && run.needsQuestion(1));
        QCOMPARE(run.answered(UnsavedRun::Answer::Save), UnsavedRun::Outcome::SaveFirst);
        QCOMPARE(run.answered(UnsavedRun::Answer::Discard), UnsavedRun::Outcome::Proceed);
        QVERIFY(!run.needsQuestion(1));
    }

    // Refreshes "<ms> <samples>" while watching from 0 ms with 0 samples; "<ms> stop" ends
    // display mode. The silence seen at the last refresh, or -1.
    void feedbackWatch_data()
    {
        columns<QString, int>({"refreshes", "silence"});
        row("not yet half a second", "100 5;599 5", -1);
        row("counted from display mode", "500 0", 500);
        row("a new connection's count is news", "100 5;300 0;700 0", -1);
        row("full histories are no silence", QString("100 %1;5000 %1").arg(historyCapacity), -1);
        row("nothing watched outside display mode", "100 stop;5000 0", -1);
    }
    void feedbackWatch()
    {
        QFETCH(QString, refreshes);
        QFETCH(int, silence);
        FeedbackWatch watch;
        watch.start(0, 0);
        qint64 seen = -1;
        for (const QString &r : refreshes.split(';')) {
            if (r.endsWith("stop"))
                watch.stop();
            else
                seen = watch.silence(r.section(' ', 1).toLongLong(),
                                     r.section(' ', 0, 0).toLongLong());
        }
        QCOMPARE(seen, qint64(silence));
        QCOMPARE(FeedbackWatch::text(2449), QString("No feedback for 2.4 s"));
    }

    // Refreshes as "ms frames"; the rate over the last second, in frames per second.
    void feedbackRate_data()
    {
        columns<QString, double>({"refreshes", "rate"});
        row("steady", "0 0;500 500;1000 1000", 1000.0);
        row("the last second only", "0 0;1000 5000;2000 6000", 1000.0);
        row("nothing arrives", "0 0;500 100;1600 100;2700 100", 0.0);
        row("a new connection starts afresh", "0 0;1000 8000;1100 10", 0.0);
    }
    void feedbackRate()
    {
        QFETCH(QString, refreshes);
        QFETCH(double, rate);
        FeedbackRate meter;
        for (const QString &r : refreshes.split(';'))
            meter.note(r.section(' ', 1).toLongLong(), r.section(' ', 0, 0).toLongLong());
        QCOMPARE(meter.perSecond(), rate);
        QCOMPARE(FeedbackRate::text(8377.6) + elapsedText(3723.45) + elapsedText(-1),
                 QString("Feedback: 8378 frames/sElapsed: 1:02:03.4Elapsed: 0:00:00.0"));
    }

    // The design is 1374 x 843 with a minimum of 1317 x 789; frames are a 30-pixel title bar.
    void windowFit_data()
    {
        columns<QRect, QRect, QRect, bool>({"available", "current", "fitted", "relax"});
        const QRect design(0, 0, 1374, 843), placed(0, 30, 1374, 843), wide(0, 0, 1920, 1050);
        row("room for the design: kept", wide, placed, placed, false);
        row("laptop, 1366 x 768 less a panel", QRect(0, 0, 1366, 740), design,
            QRect(0, 30, 1366, 710), true);
        row("moved inside a second screen", QRect(1920, 0, 1280, 720), QRect(3000, 500, 1374, 843),
            QRect(1920, 30, 1280, 690), true);
        row("off every edge, room enough", wide, QRect(-500, 900, 1374, 843),
            QRect(0, 207, 1374, 843), false);
    }
    void windowFit()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, current);
        QFETCH(QRect, fitted);
        QFETCH(bool, relax);
        const WindowFit fit = fitWindow(QSize(1374, 843), QSize(1317, 789), current, available,
                                        QMargins(0, 30, 0, 0));
        QCOMPARE(fit.geometry, fitted);
        QCOMPARE(fit.relax, relax);
    }
};

QTEST_GUILESS_MAIN(TestWindowRules)
#include "tst_windowrules.moc"
