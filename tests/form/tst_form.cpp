// The main window's form must build every widget and layout under the object name, class and
// place in the tree that the window code looks up, with the texts, fonts, sizes, frames and
// check states the window shows before its own start-up code runs, and the console's coloured
// command menu. Enabled states and combo box contents are left to the window.
#include "ui_mainwindow.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const int MaxSide = QWIDGETSIZE_MAX;

QString policyName(const QSizePolicy &policy)
{
    const QMetaEnum names = QMetaEnum::fromType<QSizePolicy::Policy>();
    return QLatin1String(names.valueToKey(policy.horizontalPolicy())) + QLatin1Char('/') +
           QLatin1String(names.valueToKey(policy.verticalPolicy()));
}

} // namespace

class TestForm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void windowSettings();
    void layouts_data();
    void layouts();
    void spacerBelowSettings();
    void looks_data();
    void looks();
    void sizes_data();
    void sizes();
    void checkStates_data();
    void checkStates();
    void frames_data();
    void frames();
    void tabs();
    void scrollBarRange();
    void inputsStartEmpty();
    void configMenu_data();
    void configMenu();
    void configMenuColours();
    void leavesEnablingToWindow();

private:
    // Looks up a named object of the form and fails the test if it is missing.
    template <typename T = QWidget> T *named(const QString &name);

    QMainWindow m_window;
    Ui::MainWindow m_ui;
};

template <typename T> T *TestForm::named(const QString &name)
{
    T *object = m_window.findChild<T *>(name);
    if (!object)
        qWarning("no %s named %s in the form", T::staticMetaObject.className(), qPrintable(name));
    return object;
}

void TestForm::initTestCase()
{
    m_ui.setupUi(&m_window);
}

void TestForm::windowSettings()
{
    QCOMPARE(m_window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(m_window.size(), QSize(1374, 843));
    QCOMPARE(m_window.font().pointSize(), 13);
    QCOMPARE(m_window.windowTitle(), QStringLiteral("MainWindow"));
    QCOMPARE(m_window.centralWidget(), m_ui.centralWidget);
    QCOMPARE(m_window.centralWidget()->objectName(), QStringLiteral("centralWidget"));
    QCOMPARE(m_window.statusBar(), m_ui.statusBar);
    QCOMPARE(m_window.statusBar()->objectName(), QStringLiteral("statusBar"));
    QVERIFY2(!m_window.findChild<QMenuBar *>(), "the window has no menu bar");
    QVERIFY2(!m_window.findChild<QToolBar *>(), "the window has no tool bar");
}

void TestForm::layouts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QStringList>("items");

    // Each layout lists what it holds, top-to-bottom or left-to-right, as "name Class"; an owner
    // marks a layout installed directly on that widget.
    auto row = [](const char *name, const char *owner, const QStringList &items) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(owner) << items;
    };
    row("horizontalLayout_14", "centralWidget",
        {"verticalLayout_8 QVBoxLayout", "line_2 QFrame", "verticalLayout QVBoxLayout"});
    row("verticalLayout_8", "",
        {"label_LOGO QLabel", "line QFrame", "groupBoxInfo QGroupBox", "groupBoxSetting QGroupBox",
         "spacer", "horizontalLayout_11 QHBoxLayout", "horizontalLayout_10 QHBoxLayout",
         "horizontalLayout_13 QHBoxLayout", "horizontalLayout_12 QHBoxLayout",
         "btnDataTool QPushButton", "btnChangeMaxMinValue QPushButton"});
    row("verticalLayout_9", "groupBoxInfo", {"verticalLayout_7 QVBoxLayout"});
    row("verticalLayout_7", "",
        {"labMotorID QLabel", "labPosition QLabel", "labCustomBarPos QLabel", "labVelocity QLabel",
         "labCustomBarVel QLabel", "labCurrent QLabel", "labCustomBarCur QLabel"});
    row("verticalLayout_2", "groupBoxSetting",
        {"horizontalLayout_4 QHBoxLayout", "horizontalLayout_5 QHBoxLayout",
         "horizontalLayout_6 QHBoxLayout", "horizontalLayout_9 QHBoxLayout",
         "horizontalLayout_7 QHBoxLayout", "horizontalLayout_8 QHBoxLayout"});
    row("horizontalLayout_4", "", {"label_7 QLabel", "comboMotor QComboBox"});
    row("horizontalLayout_5", "", {"ckbPosion QCheckBox", "editPosition QLineEdit"});
    row("horizontalLayout_6", "", {"ckbVelocity QCheckBox", "editVelocity QLineEdit"});
    row("horizontalLayout_9", "", {"ckbTorque QCheckBox", "editTorque QLineEdit"});
    row("horizontalLayout_7", "", {"label_10 QLabel", "editkp QLineEdit"});
    row("horizontalLayout_8", "", {"label_11 QLabel", "editKd QLineEdit"});
    row("horizontalLayout_11", "", {"btnRun QPushButton", "btnStop QPushButton"});
    row("horizontalLayout_10", "", {"btnDisplay QPushButton", "btnKeyControl QPushButton"});
    row("horizontalLayout_13", "", {"btnMotorMode QPushButton", "btnMotorExit QPushButton"});
    row("horizontalLayout_12", "", {"btnSendOnce QPushButton", "btnZeroPos QPushButton"});
    row("verticalLayout", "",
        {"horizontalLayout QHBoxLayout", "line_3 QFrame", "horizontalLayout_3 QHBoxLayout",
         "horizontalLayout_2 QHBoxLayout"});
    row("horizontalLayout", "",
        {"label QLabel", "comboPort QComboBox", "label_2 QLabel", "comboBaudRate QComboBox",
         "btnConnect QPushButton"});
    row("horizontalLayout_3", "", {"tabWidget QTabWidget"});
    row("horizontalLayout_2", "",
        {"HScroll QScrollBar", "btnToTXT QPushButton", "btnToPNG QPushButton",
         "btnFromTXT QPushButton"});
    row("verticalLayout_3", "tab_pos", {"widget QWidget"});
    row("verticalLayout_5", "tab_vel", {"widget_2 QWidget"});
    row("verticalLayout_6", "tab_cur", {"widget_3 QWidget"});
    row("verticalLayout_4", "tab_con", {"editConfig QTextEdit", "editCommand QLineEdit"});
}

// Every layout holds its widgets and nested layouts in order, with spacing 6 and a border of
// 11 pixels where it is installed on a widget and none where it is nested.
void TestForm::layouts()
{
    QFETCH(QString, name);
    QFETCH(QString, owner);
    QFETCH(QStringList, items);

    QLayout *layout = named<QLayout>(name);
    QVERIFY(layout);
    QStringList held;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        QObject *object = item->widget();
        if (!object)
            object = item->layout();
        held << (object ? object->objectName() + QLatin1Char(' ') +
                              QLatin1String(object->metaObject()->className())
                        : QStringLiteral("spacer"));
    }
    QCOMPARE(held, items);
    QCOMPARE(layout->spacing(), 6);
    const int margin = owner.isEmpty() ? 0 : 11;
    QCOMPARE(layout->contentsMargins(), QMargins(margin, margin, margin, margin));
    if (owner.isEmpty()) {
        QVERIFY2(qobject_cast<QLayout *>(layout->parent()), "not nested in another layout");
    } else {
        QWidget *widget = named<QWidget>(owner);
        QVERIFY(widget);
        QCOMPARE(widget->layout(), layout);
    }
}

// The left column's stretch sits between the settings and the command buttons, so the buttons
// stay at the bottom of a tall window.
void TestForm::spacerBelowSettings()
{
    QSpacerItem *spacer = m_ui.verticalLayout_8->itemAt(4)->spacerItem();
    QVERIFY2(spacer, "item 4 of the left column is not a spacer");
    QCOMPARE(spacer->sizeHint(), QSize(20, 40));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
}

void TestForm::looks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pointSize");

    struct Row
    {
        const char *name;
        const char *text; // null where the widget shows no text of its own
        int pointSize;
    };
    // Leading and trailing blanks are part of the texts; the symbols must survive the form
    // compiler as the characters themselves. Pages and their contents inherit the tab widget's
    // 15 pt, everything without a size of its own the window's 13 pt.
    const Row rows[] = {
        {"centralWidget", nullptr, 13},
        {"label_LOGO", "LOGO", 25},
        {"groupBoxInfo", "Information", 12},
        {"labMotorID", "MotorID:0", 11},
        {"labPosition", "Position:0", 11},
        {"labCustomBarPos", "custom_bar_position", 11},
        {"labVelocity", "Velocity:0", 11},
        {"labCustomBarVel", "custom_bar_velocity", 11},
        {"labCurrent", "Torque:0", 11},
        {"labCustomBarCur", "custom_bar_current", 11},
        {"groupBoxSetting", "Settings", 12},
        {"label_7", "MotorSelect:", 11},
        {"comboMotor", nullptr, 11},
        {"ckbPosion", "Position:", 11},
        {"editPosition", "0", 11},
        {"ckbVelocity", "Velocity:", 11},
        {"editVelocity", "0", 11},
        {"ckbTorque", "Torque:", 11},
        {"editTorque", "0", 11},
        {"label_10", "Kp:", 11},
        {"editkp", "0", 11},
        {"label_11", "Kd:", 11},
        {"editKd", "0", 11},
        {"btnRun", " Run \u25B6", 12},
        {"btnStop", " Stop \u25A0", 12},
        {"btnDisplay", "Display\u2714", 12},
        {"btnKeyControl", "KeyControl\u2716", 12},
        {"btnMotorMode", "Enter M_Mode", 12},
        {"btnMotorExit", "Exit M_Mode", 12},
        {"btnSendOnce", "Send Once", 12},
        {"btnZeroPos", "Zero Set", 12},
        {"btnDataTool", "Sent Data Conversion Tool", 12},
        {"btnChangeMaxMinValue", "Change Max/Min Value Tool", 12},
        {"label", "  Port:", 13},
        {"comboPort", nullptr, 13},
        {"label_2", " BaudRate:", 13},
        {"comboBaudRate", nullptr, 13},
        {"btnConnect", "Connect", 13},
        {"tabWidget", nullptr, 15},
        {"tab_pos", nullptr, 15},
        {"widget", nullptr, 15},
        {"tab_con", nullptr, 15},
        {"editConfig", nullptr, 15},
        {"editCommand", "", 15},
        {"HScroll", nullptr, 13},
        {"btnToTXT", " To TXT ", 12},
        {"btnToPNG", " To PNG ", 12},
        {"btnFromTXT", " From TXT ", 12},
        {"statusBar", nullptr, 13},
    };
    for (const Row &row : rows) {
        QTest::newRow(row.name) << QString::fromLatin1(row.name)
                                << (row.text ? QString::fromUtf8(row.text) : QString())
                                << row.pointSize;
    }
}

void TestForm::looks()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(int, pointSize);

    QWidget *widget = named(name);
    QVERIFY(widget);
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        QCOMPARE(box->title(), text);
    else if (!text.isNull())
        QCOMPARE(widget->property("text").toString(), text);
    QCOMPARE(widget->font().pointSize(), pointSize);
    QVERIFY2(!(widget->font().resolve() & QFont::FamilyResolved),
             "the form sets sizes only and leaves the family at the default");
}

void TestForm::sizes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");
    QTest::addColumn<QString>("policy");

    const QSize none(0, 0);
    const QSize unbounded(MaxSide, MaxSide);
    const QSize settingsWidth(110, 0);
    QTest::newRow("label_LOGO") << "label_LOGO" << QSize(278, 61) << QSize(278, 61)
                                << "Minimum/Minimum";
    QTest::newRow("groupBoxInfo") << "groupBoxInfo" << none << QSize(280, MaxSide)
                                  << "Preferred/Preferred";
    QTest::newRow("groupBoxSetting")
        << "groupBoxSetting" << none << QSize(280, MaxSide) << "Fixed/Preferred";
    QTest::newRow("comboMotor") << "comboMotor" << settingsWidth << unbounded << "Expanding/Fixed";
    for (const char *name :
         {"label_7", "ckbPosion", "editPosition", "ckbVelocity", "editVelocity", "ckbTorque",
          "editTorque", "label_10", "editkp", "label_11", "editKd"}) {
        QTest::newRow(name) << QString::fromLatin1(name) << settingsWidth << unbounded << QString();
    }
    for (const char *name : {"btnRun", "btnStop", "btnDisplay", "btnKeyControl"})
        QTest::newRow(name) << QString::fromLatin1(name) << none << unbounded << "Minimum/Fixed";
    QTest::newRow("label") << "label" << QSize(0, 31) << unbounded << QString();
    QTest::newRow("comboPort") << "comboPort" << QSize(120, 31) << unbounded << "Expanding/Fixed";
    QTest::newRow("label_2") << "label_2" << QSize(0, 31) << unbounded << QString();
    QTest::newRow("comboBaudRate") << "comboBaudRate" << QSize(120, 31) << unbounded << QString();
    QTest::newRow("btnConnect") << "btnConnect" << QSize(140, 31) << unbounded << QString();
    QTest::newRow("tabWidget") << "tabWidget" << QSize(1000, 600) << unbounded << QString();
    QTest::newRow("editConfig") << "editConfig" << none << unbounded << QString();
    QTest::newRow("HScroll") << "HScroll" << QSize(0, 31) << unbounded << "Expanding/Fixed";
    for (const char *name : {"btnToTXT", "btnToPNG", "btnFromTXT"})
        QTest::newRow(name) << QString::fromLatin1(name) << QSize(0, 31) << unbounded << QString();
}

void TestForm::sizes()
{
    QFETCH(QString, name);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);
    QFETCH(QString, policy);

    QWidget *widget = named(name);
    QVERIFY(widget);
    QCOMPARE(widget->minimumSize(), minimum);
    QCOMPARE(widget->maximumSize(), maximum);
    if (!policy.isEmpty())
        QCOMPARE(policyName(widget->sizePolicy()), policy);
}

void TestForm::checkStates_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<bool>("checked");

    QTest::newRow("btnDisplay") << "btnDisplay" << true << true;
    QTest::newRow("btnKeyControl") << "btnKeyControl" << true << false;
    QTest::newRow("btnMotorMode") << "btnMotorMode" << false << false;
    QTest::newRow("btnRun") << "btnRun" << false << false;
    QTest::newRow("btnStop") << "btnStop" << false << false;
    QTest::newRow("ckbPosion") << "ckbPosion" << true << false;
    QTest::newRow("ckbVelocity") << "ckbVelocity" << true << false;
    QTest::newRow("ckbTorque") << "ckbTorque" << true << false;
}

void TestForm::checkStates()
{
    QFETCH(QString, name);
    QFETCH(bool, checkable);
    QFETCH(bool, checked);

    auto *button = named<QAbstractButton>(name);
    QVERIFY(button);
    QCOMPARE(button->isCheckable(), checkable);
    QCOMPARE(button->isChecked(), checked);
}

void TestForm::frames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("shadow");

    QTest::newRow("label_LOGO") << "label_LOGO" << int(QFrame::NoFrame) << int(QFrame::Sunken);
    QTest::newRow("line") << "line" << int(QFrame::HLine) << int(QFrame::Sunken);
    QTest::newRow("line_2") << "line_2" << int(QFrame::VLine) << int(QFrame::Sunken);
    QTest::newRow("line_3") << "line_3" << int(QFrame::HLine) << int(QFrame::Sunken);
}

void TestForm::frames()
{
    QFETCH(QString, name);
    QFETCH(int, shape);
    QFETCH(int, shadow);

    auto *frame = named<QFrame>(name);
    QVERIFY(frame);
    QCOMPARE(int(frame->frameShape()), shape);
    QCOMPARE(int(frame->frameShadow()), shadow);
}

// Four tabs in a fixed order, the first one showing. Arrow keys drive the motor, so neither the
// tab widget nor its tab bar may take focus.
void TestForm::tabs()
{
    QTabWidget *tabs = m_ui.tabWidget;
    QStringList pages;
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i) {
        pages << tabs->widget(i)->objectName();
        titles << tabs->tabText(i);
    }
    QCOMPARE(pages, QStringList({"tab_pos", "tab_vel", "tab_cur", "tab_con"}));
    QCOMPARE(titles, QStringList({"Position", "Velocity", "Current", "Configuration"}));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->focusPolicy(), Qt::NoFocus);
    QCOMPARE(tabs->tabBar()->focusPolicy(), Qt::NoFocus);
}

void TestForm::scrollBarRange()
{
    QScrollBar *scroll = m_ui.HScroll;
    QCOMPARE(scroll->orientation(), Qt::Horizontal);
    QVERIFY(!scroll->invertedAppearance());
    QCOMPARE(scroll->minimum(), 0);
    QCOMPARE(scroll->maximum(), 0);
    QCOMPARE(scroll->value(), 0);
    QCOMPARE(scroll->singleStep(), 50);
    QCOMPARE(scroll->pageStep(), 500);
}

// The window fills the selection boxes and loads the logo; the form leaves them empty.
void TestForm::inputsStartEmpty()
{
    QCOMPARE(m_ui.comboMotor->count(), 0);
    QCOMPARE(m_ui.comboPort->count(), 0);
    QCOMPARE(m_ui.comboBaudRate->count(), 0);
    QVERIFY(!m_ui.comboBaudRate->isEditable());
    QCOMPARE(m_ui.editCommand->placeholderText(), QStringLiteral(">>"));
    QVERIFY(m_ui.label_LOGO->hasScaledContents());
    QVERIFY(m_ui.label_LOGO->pixmap(Qt::ReturnByValue).isNull());
}

void TestForm::configMenu_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("text");

    const char *lines[] = {
        "[Commands]",
        "m - Motor Mode",
        "c - Calibrate Encoder",
        "s - Setup",
        "e - Display Encoder",
        "z - Set Zero Position",
        "[esc] - Exit To Menu",
        "",
        "========================",
        "",
        "",
    };
    for (int i = 0; i < 11; ++i)
        QTest::addRow("line %d", i + 1) << i << QString::fromLatin1(lines[i]);
}

// The console opens on the firmware's menu: eleven paragraphs, no gaps between them.
void TestForm::configMenu()
{
    QFETCH(int, line);
    QFETCH(QString, text);

    QTextDocument *document = m_ui.editConfig->document();
    QCOMPARE(document->blockCount(), 11);
    const QTextBlock block = document->findBlockByNumber(line);
    QCOMPARE(block.text(), text);
    QCOMPARE(block.blockFormat().topMargin(), 0.0);
    QCOMPARE(block.blockFormat().bottomMargin(), 0.0);
}

// Words and punctuation are amber, the blanks between them grey, all in Courier New at 15 pt
// over a SimSun body.
void TestForm::configMenuColours()
{
    const QColor amber(0xe0, 0xa0, 0x00);
    const QColor grey(0xc0, 0xc0, 0xc0);
    const QString courier = QStringLiteral("Courier New");
    int amberChars = 0;
    int greyChars = 0;
    QTextDocument *document = m_ui.editConfig->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.text().isEmpty()) {
            QCOMPARE(block.charFormat().fontFamily(), courier);
            continue;
        }
        QCOMPARE(block.charFormat().fontFamily(), QStringLiteral("SimSun"));
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            QCOMPARE(format.fontFamily(), courier);
            QCOMPARE(format.fontPointSize(), 15.0);
            for (QChar c : fragment.text()) {
                const bool blank = c == QLatin1Char(' ');
                QVERIFY2(
                    format.foreground().color() == (blank ? grey : amber),
                    qPrintable(
                        QStringLiteral("wrong colour on '%1' in \"%2\"").arg(c).arg(block.text())));
                ++(blank ? greyChars : amberChars);
            }
        }
    }
    QVERIFY(amberChars > 0);
    QVERIFY(greyChars > 0);
}

// The window applies the start-up enabled states itself; a widget disabled by the form would
// stay disabled where the window expects it enabled.
void TestForm::leavesEnablingToWindow()
{
    const QList<QWidget *> widgets = m_window.findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        QVERIFY2(widget->isEnabledTo(&m_window),
                 qPrintable(widget->objectName() + QStringLiteral(" is disabled by the form")));
    }
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
