// The image of the plots stacks them as they are shown, at the device pixel ratio, leaves out the
// hint and the cursor readout, and saving it names the file and the reason of a failure.
#include "canvas.h"
#include "motorstate.h"
#include "plotimage.h"

#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>

class TestPlotImage : public QObject
{
    Q_OBJECT
    Canvas m_top, m_bottom;

private slots:
    // Every sample holds 3 and the view is -10..10, so on a plot h pixels high (bands of h / 11)
    // the curve runs along y = h - (13 / 20 * (h - h / 11) + h / 22) and -5 lies at
    // h - (5 / 20 * (h - h / 11) + h / 22): 80 for the 220-high plot, 40 and 80 for the 110-high.
    void initTestCase()
    {
        QVERIFY(prepareMotorState(QDir::tempPath()));
        {
            QMutexLocker lock(&stateMutex);
            for (int i = 0; i < 2000; ++i)
                for (auto &history : motorState.histories)
                    history[i] = 3;
            motorState.sampleCount = 2000;
        }
        m_top.resize(550, 220);
        m_bottom.resize(330, 110);
        m_bottom.setChannel(CurrentChannel);
        m_bottom.setShowRef(true);
        m_bottom.setRefValue(-5);
        for (Canvas *c : {&m_top, &m_bottom}) {
            c->setLimits(-95.5f, 95.5f);
            c->setView(-10, 10);
            c->setXLimit(2000);
            c->setXRange(0, 2000);
        }
    }

    void stacksPlotsAsShown()
    {
        Canvas::setHintVisible(true);
        QMouseEvent hover(QEvent::MouseMove, QPointF(100, 80), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(&m_top, &hover);
        const QImage image = plotsImage({&m_top, nullptr, &m_bottom}, 2);
        QCOMPARE(image.size(), QSize(2 * 550, 2 * (220 + 110)));
        QCOMPARE(image.devicePixelRatio(), 2.0);
        // Device pixels: the top curve on rows 2 * 79 .. 2 * 81, the bottom one on 2 * (220 + 39)
        // .. 2 * (220 + 41), the reference line's full rows 2 * (220 + 79) .. 2 * (220 + 81).
        for (int y : {158, 161})
            QCOMPARE(image.pixel(200, y), qRgb(255, 0, 0));
        for (int y : {518, 521})
            QCOMPARE(image.pixel(200, y), qRgb(0, 0, 255));
        int black = 0;
        for (int x = 0; x < 600; ++x)
            black += image.pixel(x, 600) == qRgb(0, 0, 0);
        QVERIFY2(black > 300 && black < 580, qPrintable(QString::number(black))); // dashed
        QCOMPARE(image.pixel(800, 600), qRgb(255, 255, 255)); // beside the narrower plot
        // Neither the hint nor the readout of the hovered plot.
        Canvas::setHintVisible(false);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&m_top, &leave);
        QCOMPARE(plotsImage({&m_top, &m_bottom}, 2), image);
        // As shown, pixel for pixel, at a ratio of 1.
        QCOMPARE(plotsImage({&m_top}, 1).convertToFormat(QImage::Format_RGB32),
                 m_top.grab().toImage().convertToFormat(QImage::Format_RGB32));
        Canvas::setHintVisible(true);
    }

    void saves()
    {
        QTemporaryDir dir;
        const QImage image = plotsImage({&m_top, &m_bottom}, 1.5);
        const QString path = dir.filePath("plots.png");
        QCOMPARE(savePng(image, path), QString());
        const QImage back(path, "png");
        QCOMPARE(back.size(), QSize(825, 495));
        QCOMPARE(back.pixel(150, 120), qRgb(255, 0, 0)); // the top curve, rows 1.5 * 79 .. 1.5 * 81
        const QString missing = dir.filePath("none/plots.png");
        const QString error = savePng(image, missing);
        QVERIFY2(error.startsWith("Could not save to " + missing + ": ") &&
                     error.size() > missing.size() + 22,
                 qPrintable(error));
    }
};

QTEST_MAIN(TestPlotImage)
#include "tst_plotimage.moc"
