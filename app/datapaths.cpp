#include "datapaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QStringList logoCandidates(const QString &applicationDir)
{
    const QString logo = QStringLiteral("/Images/logo.png");
    QStringList candidates{applicationDir + logo};
    const QString relocated =
        QDir::cleanPath(applicationDir + QStringLiteral("/" KORVANE_DATA_FROM_BIN) + logo);
    const QString configured = QStringLiteral(KORVANE_INSTALLED_DATA_DIR) + logo;
    for (const QString &path : {relocated, configured}) {
        if (!candidates.contains(path))
            candidates.append(path);
    }
    return candidates;
}

QString findLogo(const QString &applicationDir)
{
    for (const QString &path : logoCandidates(applicationDir)) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

QString journalFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/journal");
}
