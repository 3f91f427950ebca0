// The main window's form builds every widget and layout the window code looks up by name, in its
// place, with the looks it shows before start-up code runs, and the console's coloured menu.
#include "ui_mainwindow.h"

#include <QtTest>
#include <QtWidgets>

// The form as a tree, two spaces of indent per level: "name Class key=value ...|text", siblings
// on one line split by "; ", and "a > b" for b inside a. pt: font size; min, max: size limits
// (default 0x0, *x*; * unbounded); pol: size policy; check: on/off (or not checkable); items: a
// layout's item count; hint: a spacer's size; other keys: properties. Text: text, title or tab
// text.
const char *const formRows[] = {
    "centralWidget QWidget pt=13 > horizontalLayout_14 QHBoxLayout items=3",
    "    verticalLayout_8 QVBoxLayout items=11",
    "      label_LOGO QLabel pt=25 min=278x61 max=278x61 pol=Minimum/Minimum frameShape=NoFrame "
    "frameShadow=Sunken scaledContents=true|LOGO",
    "      line QFrame pt=13 frameShape=HLine frameShadow=Sunken",
    "      groupBoxInfo QGroupBox pt=12 max=280x* pol=Preferred/Preferred|Information",
    "        verticalLayout_9 QVBoxLayout items=1 > verticalLayout_7 QVBoxLayout items=7",
    "            labMotorID QLabel pt=11|MotorID:0; labPosition QLabel pt=11|Position:0",
    "            labCustomBarPos QLabel pt=11|custom_bar_position",
    "            labVelocity QLabel pt=11|Velocity:0",
    "            labCustomBarVel QLabel pt=11|custom_bar_velocity",
    "            labCurrent QLabel pt=11|Torque:0",
    "            labCustomBarCur QLabel pt=11|custom_bar_current",
    "      groupBoxSetting QGroupBox pt=12 max=280x* pol=Fixed/Preferred|Settings",
    "        verticalLayout_2 QVBoxLayout items=6",
    "          horizontalLayout_4 QHBoxLayout items=2",
    "            label_7 QLabel pt=11 min=110x0|MotorSelect:",
    "            comboMotor QComboBox pt=11 min=110x0 pol=Expanding/Fixed count=0",
    "          horizontalLayout_5 QHBoxLayout items=2",
    "            ckbPosion QCheckBox pt=11 min=110x0 check=off|Position:",
    "            editPosition QLineEdit pt=11 min=110x0|0",
    "          horizontalLayout_6 QHBoxLayout items=2",
    "            ckbVelocity QCheckBox pt=11 min=110x0 check=off|Velocity:",
    "            editVelocity QLineEdit pt=11 min=110x0|0",
    "          horizontalLayout_9 QHBoxLayout items=2",
    "            ckbTorque QCheckBox pt=11 min=110x0 check=off|Torque:",
    "            editTorque QLineEdit pt=11 min=110x0|0",
    "          horizontalLayout_7 QHBoxLayout items=2",
    "            label_10 QLabel pt=11 min=110x0|Kp:; editkp QLineEdit pt=11 min=110x0|0",
    "          horizontalLayout_8 QHBoxLayout items=2",
    "            label_11 QLabel pt=11 min=110x0|Kd:; editKd QLineEdit pt=11 min=110x0|0",
    // The stretch keeps the command buttons at the bottom of a tall window.
    "      spacer QSpacerItem hint=20x40 pol=Minimum/Expanding",
    "      horizontalLayout_11 QHBoxLayout items=2",
    "        btnRun QPushButton pt=12 pol=Minimum/Fixed| Run \u25B6",
    "        btnStop QPushButton pt=12 pol=Minimum/Fixed| Stop \u25A0",
    "      horizontalLayout_10 QHBoxLayout items=2",
    "        btnDisplay QPushButton pt=12 pol=Minimum/Fixed check=on|Display\u2714",
    "        btnKeyControl QPushButton pt=12 pol=Minimum/Fixed check=off|KeyControl\u2716",
    "      horizontalLayout_13 QHBoxLayout items=2",
    "        btnMotorMode QPushButton pt=12|Enter M_Mode",
    "        btnMotorExit QPushButton pt=12|Exit M_Mode",
    "      horizontalLayout_12 QHBoxLayout items=2",
    "        btnSendOnce QPushButton pt=12|Send Once; btnZeroPos QPushButton pt=12|Zero Set",
    "      btnDataTool QPushButton pt=12|Sent Data Conversion Tool",
    "      btnChangeMaxMinValue QPushButton pt=12|Change Max/Min Value Tool",
    "    line_2 QFrame pt=13 frameShape=VLine frameShadow=Sunken",
    "    verticalLayout QVBoxLayout items=4",
    "      horizontalLayout QHBoxLayout items=5",
    "        label QLabel pt=13 min=0x31|  Port:",
    "        comboPort QComboBox pt=13 min=120x31 pol=Expanding/Fixed count=0",
    "        label_2 QLabel pt=13 min=0x31| BaudRate:",
    "        comboBaudRate QComboBox pt=13 min=120x31 count=0 editable=false",
    "        btnConnect QPushButton pt=13 min=140x31|Connect",
    "      line_3 QFrame pt=13 frameShape=HLine frameShadow=Sunken",
    "      horizontalLayout_3 QHBoxLayout items=1",
    "        tabWidget QTabWidget pt=15 min=1000x600 count=4 currentIndex=0 focusPolicy=NoFocus",
    "          tab_pos QWidget pt=15|Position > verticalLayout_3 QVBoxLayout items=1",
    "              widget QWidget pt=15",
    "          tab_vel QWidget pt=15|Velocity > verticalLayout_5 QVBoxLayout items=1",
    "              widget_2 QWidget pt=15",
    "          tab_cur QWidget pt=15|Current > verticalLayout_6 QVBoxLayout items=1",
    "              widget_3 QWidget pt=15",
    "          tab_con QWidget pt=15|Configuration > verticalLayout_4 QVBoxLayout items=2",
    "              editConfig QTextEdit pt=15; editCommand QLineEdit pt=15 placeholderText=>>|",
    "      horizontalLayout_2 QHBoxLayout items=4",
    "        HScroll QScrollBar pt=13 min=0x31 pol=Expanding/Fixed orientation=Horizontal "
    "invertedAppearance=false minimum=0 maximum=0 value=0 singleStep=50 pageStep=500",
    "        btnToTXT QPushButton pt=12 min=0x31| To TXT ",
    "        btnToPNG QPushButton pt=12 min=0x31| To PNG ",
    "        btnFromTXT QPushButton pt=12 min=0x31| From TXT ",
    "statusBar QStatusBar pt=13",
};

class TestForm : public QObject
{
    Q_OBJECT
    QMainWindow m_window;
    Ui::MainWindow m_ui;

private slots:
    void initTestCase() { m_ui.setupUi(&m_window); }
    void tree_data();
    void tree();
    void configMenu();
};

void TestForm::tree_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<int>("index"); // among the parent's items or pages
    QStringList path{"MainWindow"}; // the last object on each level
    QHash<QString, int> index;
    for (const char *line : formRows) {
        const QString text = QString::fromUtf8(line);
        const int depth = text.indexOf(QRegularExpression("\\S")) / 2;
        path = path.mid(0, depth + 1);
        for (const QString &group : text.mid(depth * 2).split(" > ")) {
            const QString parent = path.last();
            for (const QString &object : group.split("; "))
                QTest::newRow(qPrintable(object.section(' ', 0, 0)))
                    << object << parent << index[parent]++;
            path << group.section("; ", -1).section(' ', 0, 0);
        }
    }
}

void TestForm::tree()
{
    QFETCH(QString, row);
    QFETCH(QString, parent);
    QFETCH(int, index);
    const QStringList head = row.section('|', 0, 0).split(' ');
    QHash<QString, QString> at{{"min", "0x0"}, {"max", "*x*"}};
    for (const QString &t : head.mid(2))
        at[t.section('=', 0, 0)] = t.section('=', 1);
    const auto size = [](QSize s) { // as the table writes it
        const QString text = QString("%1x%2").arg(s.width()).arg(s.height());
        return QString(text).replace(QString::number(QWIDGETSIZE_MAX), "*");
    };
    const auto policy = [](QSizePolicy p) {
        const QMetaEnum e = QMetaEnum::fromType<QSizePolicy::Policy>();
        return QString(e.valueToKey(p.horizontalPolicy())) + '/' + e.valueToKey(p.verticalPolicy());
    };
    QObject *owner = parent == "MainWindow" ? &m_window : m_window.findChild<QObject *>(parent);
    auto *layout = qobject_cast<QLayout *>(owner);
    auto *tabs = qobject_cast<QTabWidget *>(owner);
    QLayoutItem *item = layout ? layout->itemAt(index) : nullptr;
    QVERIFY(owner && (!layout || item));
    if (head[1] == "QSpacerItem") {
        QVERIFY(item->spacerItem());
        QCOMPARE(size(item->sizeHint()), at["hint"]);
        QCOMPARE(policy(item->spacerItem()->sizePolicy()), at["pol"]);
        return;
    }
    QObject *object = m_window.findChild<QObject *>(head[0]);
    QVERIFY2(object, "missing");
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), head[1]);
    QObject *placed = owner->findChild<QObject *>(head[0], Qt::FindDirectChildrenOnly);
    if (layout)
        placed = item->widget() ? static_cast<QObject *>(item->widget()) : item->layout();
    else if (tabs)
        placed = tabs->widget(index);
    QCOMPARE(placed, object);
    if (auto *l = qobject_cast<QLayout *>(object)) {
        QCOMPARE(QString::number(l->count()), at["items"]);
        return;
    }
    auto *w = static_cast<QWidget *>(object);
    QCOMPARE(w->font().pointSize(), at.take("pt").toInt());
    // The form sets font sizes only; the window applies the enabled states itself.
    const QFont probe(QStringLiteral("Korvane Probe")); // a family the form did not set is taken
    QVERIFY(w->font().resolve(probe).family() == probe.family() && w->isEnabledTo(&m_window));
    QCOMPARE(size(w->minimumSize()), at.take("min"));
    QCOMPARE(size(w->maximumSize()), at.take("max"));
    if (at.contains("pol"))
        QCOMPARE(policy(w->sizePolicy()), at.take("pol"));
    if (auto *b = qobject_cast<QAbstractButton *>(w)) // "on", "off", or not checkable
        QCOMPARE(QString(b->isCheckable() ? b->isChecked() ? "on" : "off" : ""), at.take("check"));
    for (auto it = at.cbegin(); it != at.cend(); ++it) { // any other key names a property
        const QMetaObject *m = w->metaObject();
        const QMetaProperty p = m->property(m->indexOfProperty(qPrintable(it.key())));
        const QVariant v = p.read(w);
        QCOMPARE(p.isEnumType() ? p.enumerator().valueToKey(v.toInt()) : v.toString(), it.value());
    }
    if (auto *t = qobject_cast<QTabWidget *>(w)) // arrow keys drive the motor: no focus on tabs
        QCOMPARE(t->tabBar()->focusPolicy(), t->focusPolicy());
    const char *text = qobject_cast<QGroupBox *>(w) ? "title" : "text";
    if (row.contains('|'))
        QCOMPARE(tabs ? tabs->tabText(index) : w->property(text).toString(), row.section('|', 1));
}

// The console opens on the firmware's menu, paragraphs without gaps: words and punctuation
// amber, the blanks between them grey, all Courier New at 15 pt; other characters show as '?'.
void TestForm::configMenu()
{
    QStringList lines;
    for (QTextBlock b = m_ui.editConfig->document()->begin(); b.isValid(); b = b.next()) {
        QCOMPARE(b.blockFormat().topMargin() + b.blockFormat().bottomMargin(), 0.0);
        lines << QString();
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const bool courier = f.font().family() == "Courier New" && f.fontPointSize() == 15;
            for (QChar c : it.fragment().text()) {
                const char *colour = c == ' ' ? "#c0c0c0" : "#e0a000"; // grey, amber
                lines.last() += courier && f.foreground().color().name() == colour ? c : '?';
            }
        }
    }
    QCOMPARE(lines.join('|'), QString("[Commands]|m - Motor Mode|c - Calibrate Encoder|s - Setup|"
                                      "e - Display Encoder|z - Set Zero Position|"
                                      "[esc] - Exit To Menu||========================||"));
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
