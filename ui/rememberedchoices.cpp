#include "rememberedchoices.h"

#include "motorstate.h"
#include "parametercheck.h"
#include "startoptions.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>

namespace {
// The layout of the settings this build writes.
constexpr int settingsVersion = 1;
constexpr int fieldCount = 5;

const QString versionKey = QStringLiteral("settingsVersion");
const QString portKey = QStringLiteral("port/location");
const QString baudKey = QStringLiteral("port/baudRate");
const QString motorKey = QStringLiteral("motor/id");
const QString fieldsKey = QStringLiteral("command/fields");
const QString referencesKey = QStringLiteral("command/referenceLines");
const QString geometryKey = QStringLiteral("window/geometry");
const QString folderKey = QStringLiteral("recording/folder");
const QString hintKey = QStringLiteral("plot/hintVisible");
const QString secondsKey = QStringLiteral("plot/secondsAxis");

// A whole number stored under `key` within [min, max], or `fallback`.
int storedWhole(const QSettings &store, const QString &key, int min, int max, int fallback)
{
    bool ok = false;
    const int v = store.value(key).toInt(&ok);
    return ok && v >= min && v <= max ? v : fallback;
}
} // namespace

bool RememberedChoices::writtenByLaterBuild(const QSettings &store)
{
    if (store.status() != QSettings::NoError)
        return false;
    const QString version = store.value(versionKey).toString().trimmed();
    bool ok = false;
    const qlonglong number = version.toLongLong(&ok);
    if (ok)
        return number > settingsVersion;
    // A version number too large for any integer is a later build's all the same.
    static const QRegularExpression wholeNumber(QStringLiteral("^\\+?[0-9]+$"));
    return wholeNumber.match(version).hasMatch();
}

void RememberedChoices::writeRecordingFolder(QSettings &store, const QString &folder)
{
    store.setValue(folderKey, folder);
}

RememberedChoices RememberedChoices::read(const QSettings &store, const Limits &bounds)
{
    RememberedChoices c;
    c.port = store.value(portKey).toString();
    c.baudRate = storedWhole(store, baudKey, minBaudRate, maxBaudRate, 0);
    c.motorId = storedWhole(store, motorKey, 0, 255, 0);

    const QStringList texts = store.value(fieldsKey).toStringList();
    const std::pair<double, double> ranges[fieldCount] = {{bounds.positionMin, bounds.positionMax},
                                                          {bounds.velocityMin, bounds.velocityMax},
                                                          {bounds.torqueMin, bounds.torqueMax},
                                                          {bounds.kpMin, bounds.kpMax},
                                                          {bounds.kdMin, bounds.kdMax}};
    for (int i = 0; i < fieldCount; ++i) {
        const QString text = texts.value(i);
        const bool fits = rememberedParameterFits(text, ranges[i].first, ranges[i].second);
        c.fields << (fits ? text : QString());
    }

    const QStringList references = store.value(referencesKey).toStringList();
    if (references.size() == 3) {
        for (const QString &on : references)
            c.referenceLines << (on == QLatin1String("1"));
    }
    // Qt ignores bytes that are no geometry, and puts a window saved on a screen that is
    // gone back onto one that is there.
    c.geometry = store.value(geometryKey).toByteArray();
    const QString folder = store.value(folderKey).toString();
    if (!folder.isEmpty() && QDir(folder).exists())
        c.recordingFolder = folder;
    // Only a plain "false" hides the hint: it is closed once and for all.
    c.hintVisible = store.value(hintKey).toString() != QLatin1String("false");
    c.secondsAxis = store.value(secondsKey).toString() == QLatin1String("true");
    return c;
}

void RememberedChoices::write(QSettings &store) const
{
    store.setValue(versionKey, settingsVersion);
    if (!port.isEmpty())
        store.setValue(portKey, port);
    if (baudRate >= minBaudRate && baudRate <= maxBaudRate)
        store.setValue(baudKey, baudRate);
    store.setValue(motorKey, motorId);
    store.setValue(fieldsKey, fields);
    QStringList references;
    for (bool on : referenceLines)
        references << (on ? QStringLiteral("1") : QStringLiteral("0"));
    store.setValue(referencesKey, references);
    store.setValue(geometryKey, geometry);
    store.setValue(folderKey, recordingFolder);
    store.setValue(hintKey, hintVisible);
    store.setValue(secondsKey, secondsAxis);
}
