#pragma once

#include <QString>
#include <QStringList>

// The places the logo may be, in the order they are looked at: Images/ beside the executable
// (a build folder or a copied one), then the data folder of the installation the executable
// sits in, found from its own folder so that a relocated or DESTDIR install uses its own
// files, and last the data folder this build was configured to install into.
QStringList logoCandidates(const QString &applicationDir);

// The first of logoCandidates() that is a file, or an empty string if none is.
QString findLogo(const QString &applicationDir);

// Where each running instance keeps the journal of its run (see RunJournal): the user's
// application data folder, e.g. ~/.local/share/korvane/korvane/journal on Linux.
QString journalFolder();
