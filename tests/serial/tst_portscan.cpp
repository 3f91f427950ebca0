// The system's port list is enumerated again when a device directory changes (and for a
// few calls after, while udev catches up), at least every sixtieth call, and on request;
// otherwise the last enumeration answers.
#include "portscan.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

class TestPortScan : public QObject
{
    Q_OBJECT
private slots:
    void enumeratesWhenDevicesMayHaveChanged()
    {
        QTemporaryDir dev;
        const QString byId = dev.filePath(QStringLiteral("serial/by-id"));
        QVERIFY(QDir().mkpath(byId));
        int enumerations = 0;
        SystemPortScan scan({dev.path(), byId}, [&enumerations] {
            ++enumerations;
            return QList<QSerialPortInfo>();
        });
        // One call, after a new entry in `dir` if one is named; '+' if it enumerated. The
        // directory gets a modification time of its own, as file times may be coarser
        // than the steps of this test.
        const auto call = [&](const QString &dir = QString()) {
            const int before = enumerations;
            if (!dir.isEmpty()) {
                QDir(dir).mkdir(QString::number(before));
                const timespec times[2] = {{1000 + before, 0}, {1000 + before, 0}};
                utimensat(AT_FDCWD, QFile::encodeName(dir).constData(), times, 0);
            }
            scan.ports();
            return enumerations > before ? '+' : '.';
        };
        QString seen;
        for (int i = 0; i < 62; ++i) // the first call enumerates, then every sixtieth
            seen += call();
        seen += call(dev.path());
        for (int i = 0; i < 4; ++i)
            seen += call();
        seen += call(byId);
        for (int i = 0; i < 3; ++i)
            seen += call();
        // Where the directories are not watched, every call enumerates.
        const QString unchanged = QLatin1Char('+') + QString(59, '.') + QStringLiteral("+.");
        QCOMPARE(seen, SystemPortScan::watchesDirectories ? unchanged + QStringLiteral("+++..+++.")
                                                          : QString(71, '+'));
        const int before = enumerations;
        scan.refresh();
        QCOMPARE(enumerations, before + 1);
    }
};

QTEST_GUILESS_MAIN(TestPortScan)
#include "tst_portscan.moc"
