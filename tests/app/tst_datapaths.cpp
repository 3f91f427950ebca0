// The logo is taken from Images/ beside the executable when it is there, else from the data
// folder of the installation the executable sits in (bin/ and share/korvane/ side by side),
// and only a file counts: a folder of the same name is passed over.
#include "datapaths.h"

#include <QtTest>

class TestDataPaths : public QObject
{
    Q_OBJECT

private slots:
    void logoLookupOrder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("expected");

        const QString beside = QStringLiteral("bin/Images/logo.png");
        const QString installed = QStringLiteral("share/korvane/Images/logo.png");
        QTest::newRow("beside the executable") << QStringList{beside} << QStringList() << beside;
        QTest::newRow("installed data folder")
            << QStringList{installed} << QStringList() << installed;
        QTest::newRow("beside wins") << QStringList{installed, beside} << QStringList() << beside;
        QTest::newRow("a folder named like the logo")
            << QStringList{installed} << QStringList{beside} << installed;
        QTest::newRow("neither") << QStringList() << QStringList{QStringLiteral("bin/Images")}
                                 << QString();
    }
    void logoLookupOrder()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, folders);
        QFETCH(QString, expected);

        QTemporaryDir prefix;
        QVERIFY(prefix.isValid());
        const QDir root(prefix.path());
        QVERIFY(root.mkpath(QStringLiteral("bin")));
        for (const QString &folder : folders)
            QVERIFY(root.mkpath(folder));
        for (const QString &file : files) {
            QVERIFY(root.mkpath(QFileInfo(file).path()));
            QFile logo(root.filePath(file));
            QVERIFY2(logo.open(QIODevice::WriteOnly), qPrintable(logo.fileName()));
        }

        const QString found = findLogo(root.filePath(QStringLiteral("bin")));
        if (expected.isEmpty()) {
            // Only the configured install folder of this build may still answer.
            QVERIFY2(!found.startsWith(root.path()), qPrintable(found));
        } else {
            QCOMPARE(found, root.filePath(expected));
        }
    }
};

QTEST_GUILESS_MAIN(TestDataPaths)
#include "tst_datapaths.moc"
