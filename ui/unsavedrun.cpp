#include "unsavedrun.h"

QString UnsavedRun::question(qint64 samples)
{
    return QStringLiteral("The recording of %1 samples has not been saved.").arg(samples);
}

UnsavedRun::Outcome UnsavedRun::answered(Answer answer)
{
    switch (answer) {
    case Answer::Discard:
        m_unsaved = false;
        return Outcome::Proceed;
    case Answer::Save:
        return Outcome::SaveFirst;
    case Answer::Cancel:
        break;
    }
    return Outcome::Cancel;
}
