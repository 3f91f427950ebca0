#pragma once

#include <QString>
#include <QtGlobal>

// Which text the status line shows. The decoder posts its error rate on its own while
// feedback flows; every other message says something the user should read, so it is
// safe from the rate for holdMs. When that hold ends, the newest rate is shown again,
// even if it has not changed since (the decoder posts a rate only when it changes).
// Times are milliseconds of any monotonic clock.
class StatusLine
{
public:
    static constexpr qint64 holdMs = 3000;

    explicit StatusLine(QString ratePrefix);

    // Whether posted rates describe a live stream. Rates that arrive while they do not
    // (after a disconnection, in configuration mode) are dropped, and the last one is
    // forgotten, so that a stale rate never comes back.
    void setRatesLive(bool live);
    // Posts `text` at `nowMs`; true when the line shows it now.
    bool post(const QString &text, qint64 nowMs);
    // When the rate is due to replace a message, or -1 when nothing is due.
    qint64 rateDueAt() const;
    // The rate to show at `nowMs` once its time has come; empty when nothing is due.
    QString takeDueRate(qint64 nowMs);
    // Ends the hold at once, when what the message said is over: the newest rate, or an
    // empty text when there is none, replaces it.
    QString release();

private:
    QString m_ratePrefix;
    QString m_rate;
    qint64 m_holdUntil = -1;
    bool m_ratesLive = false;
};
