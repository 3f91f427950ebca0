// The live readout: labels, value bars, plots, scroll bar and memory gauge follow
// the newest samples ten times a second.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "canvas.h"
#include "doublecanvas.h"
#include "motorstate.h"

#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>

namespace {
struct Range
{
    float lo;
    float hi;
};

// Where the scroll bar's style puts the handle for `maximum` and `value`.
QRect sliderRect(const QScrollBar *bar, int maximum, int value)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    if (bar->orientation() == Qt::Horizontal)
        option.state |= QStyle::State_Horizontal;
    option.minimum = bar->minimum();
    option.maximum = maximum;
    option.sliderPosition = value;
    option.sliderValue = value;
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.upsideDown = bar->invertedAppearance() != (bar->orientation() == Qt::Horizontal &&
                                                      bar->layoutDirection() == Qt::RightToLeft);
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                        bar);
}

// The scroll bar's maximum for the plot's range: the start of its last full window.
int scrollMaximum(const Canvas *plot)
{
    return static_cast<int>(plot->xLimit() - 10 * plot->xStep());
}
} // namespace

Canvas *MainWindow::plotForTab(int index) const
{
    switch (index) {
    case 0:
        return plotPosition;
    case 1:
        return plotVelocity;
    case 2:
        return plotCurrent;
    default:
        return nullptr;
    }
}

void MainWindow::uiFlush()
{
    int n = 0, count = 0;
    float p = 0, v = 0, c = 0;
    double elapsed = 0;
    qint64 frames = 0;
    {
        QMutexLocker lock(&stateMutex);
        count = motorState.sampleCount;
        n = qMax(count, 1) - 1;
        p = motorState.positionHistory()[n];
        v = motorState.velocityHistory()[n];
        c = motorState.currentHistory()[n];
        frames = motorState.framesReceived;
        // A live run's clock runs on while the motor is silent; a finished one lasted
        // until its last sample.
        if (flushActive)
            elapsed = double(monotonicNanoseconds() - motorState.timeOriginNs) * 1e-9;
        else if (motorState.hasTimes && count > 0)
            elapsed = motorState.timeHistory[std::size_t(n)];
    }
    labElapsed->setText(elapsedText(elapsed));
    if (flushActive)
        m_feedbackRate.note(frames, m_clock.elapsed());
    labFeedbackRate->setText(FeedbackRate::text(flushActive ? m_feedbackRate.perSecond() : 0));
    const float usage = static_cast<float>(n) / static_cast<float>(historyCapacity) * 100.0f;
    btnConfig->setText(
        QStringLiteral("Memory Usage: %1 %").arg(static_cast<double>(usage), 0, 'f', 4));

    ui->labPosition->setText(
        QStringLiteral("Position:%1 rad").arg(static_cast<double>(p), 0, 'f', 2));
    barPosition->setValue(p);
    barPosition->update();
    ui->labVelocity->setText(
        QStringLiteral("Velocity:%1 rad/s").arg(static_cast<double>(v), 0, 'f', 2));
    barVelocity->setValue(v);
    barVelocity->update();
    ui->labCurrent->setText(QStringLiteral("Torque:%1 N-M").arg(static_cast<double>(c), 0, 'f', 2));
    barCurrent->setValue(c);
    barCurrent->update();

    if (displayOn) {
        Range ranges[3];
        {
            QMutexLocker lock(&stateMutex);
            ranges[0] = {motorState.decodePositionMin, motorState.decodePositionMax};
            ranges[1] = {motorState.decodeVelocityMin, motorState.decodeVelocityMax};
            ranges[2] = {motorState.decodeCurrentMin, motorState.decodeCurrentMax};
        }
        Canvas *plots[3] = {plotPosition, plotVelocity, plotCurrent};
        const float x = static_cast<float>(n);
        for (int k = 0; k < 3; ++k) {
            Canvas *plot = plots[k];
            const Range &r = ranges[k];
            if (r.hi > plot->limitMax() || plot->limitMin() > r.lo)
                plot->setLimits(r.lo, r.hi);
            if (plot->yZoomed() == 0)
                plot->setView(r.lo, r.hi);
            plot->setXLimit(x);
            if (plot->hold() == 0) {
                const float d = x - plot->xEnd();
                if (d > 0)
                    plot->setXRange(plot->xStart() + d, plot->xEnd() + d);
            }
            // Composed now and repainted where it changed, in the one paint that also
            // takes whatever the scroll bar below asks for. A plot on a hidden tab does
            // not paint; it is drawn when its tab is shown.
            plot->refresh();
        }
        if (!ui->HScroll->isSliderDown())
            followHScroll();
    }
    if (flushActive) {
        showFeedbackSilence(m_feedbackWatch.silence(count, m_clock.elapsed()));
        QTimer::singleShot(100, this, &MainWindow::uiFlush);
    }
}

void MainWindow::showFeedbackSilence(qint64 silentMs)
{
    const bool silent = silentMs >= 0;
    if (silent)
        setMainStatusBar(FeedbackWatch::text(silentMs));
    if (silent == m_silenceShown)
        return;
    greyReadout(silent);
    // Frames are back: the silence's text goes at once, and the newest rate takes its place.
    if (!silent)
        labMainStatus->setText(m_statusLine.release());
}

void MainWindow::greyReadout(bool grey)
{
    m_silenceShown = grey;
    // A disabled label is drawn greyed: the values shown are the last ones, not live ones.
    for (QLabel *value : {ui->labPosition, ui->labVelocity, ui->labCurrent})
        value->setEnabled(!grey);
}

void MainWindow::uiRepaint()
{
    Canvas *plots[3] = {plotPosition, plotVelocity, plotCurrent};
    for (int k = 0; k < 3; ++k) {
        plots[k]->setChannel(k);
        plots[k]->setXLimit(2000);
        plots[k]->setXRange(0, 2000);
    }
    Range ranges[3];
    int count = 0;
    {
        QMutexLocker lock(&stateMutex);
        ranges[0] = {motorState.decodePositionMin, motorState.decodePositionMax};
        ranges[1] = {motorState.decodeVelocityMin, motorState.decodeVelocityMax};
        ranges[2] = {motorState.decodeCurrentMin, motorState.decodeCurrentMax};
        count = motorState.sampleCount;
    }
    for (int k = 0; k < 3; ++k) {
        plots[k]->setLimits(ranges[k].lo, ranges[k].hi);
        plots[k]->setView(ranges[k].lo, ranges[k].hi);
        plots[k]->setXLimit(static_cast<float>(count));
    }
    for (Canvas *plot : plots)
        plot->update();
    reCalculateHScroll();
}

void MainWindow::reCalculateHScroll()
{
    Canvas *plot = plotForTab(ui->tabWidget->currentIndex());
    if (!plot)
        return;
    m_hScrollBehind = false;
    const float start = plot->xStart();
    const int maximum = scrollMaximum(plot);
    ui->HScroll->setMinimum(0);
    ui->HScroll->setMaximum(maximum);
    ui->HScroll->setValue(plot->hold() == 0 ? maximum : static_cast<int>(start));
}

void MainWindow::followHScroll()
{
    // While the plot follows the newest samples, the handle stays at the end of a growing
    // range and mostly looks the same from one refresh to the next. Setting the range then
    // would only repaint the bar, in Qt 6 through its thread pool; so the range is brought
    // up to date when the handle would move or change size, or as the user reaches for
    // the bar (see eventFilter).
    const Canvas *plot = plotForTab(ui->tabWidget->currentIndex());
    const QScrollBar *bar = ui->HScroll;
    if (plot && plot->hold() == 0 && bar->minimum() == 0 && bar->maximum() > 0 &&
        bar->value() == bar->maximum()) {
        const int maximum = scrollMaximum(plot);
        if (maximum > 0 &&
            sliderRect(bar, maximum, maximum) == sliderRect(bar, bar->maximum(), bar->value())) {
            m_hScrollBehind = true;
            return;
        }
    }
    reCalculateHScroll();
}

void MainWindow::on_HScroll_valueChanged(int value)
{
    Canvas *plot = plotForTab(ui->tabWidget->currentIndex());
    if (!plot)
        return;
    const float width = 10 * plot->xStep();
    plot->setHold(ui->HScroll->maximum() > value ? 1 : 0);
    plot->setXRange(static_cast<float>(value), static_cast<float>(value) + width);
    plot->update();
}
