#pragma once

#include <QString>
#include <QtGlobal>

// Whether the histories hold a run that is in no file yet, so that Connect, From TXT and
// closing the window ask before it is thrown away, and what the user's answer means.
class UnsavedRun
{
public:
    enum class Answer
    {
        Save,
        Discard,
        Cancel
    };
    enum class Outcome
    {
        Proceed,   // replace the histories now
        SaveFirst, // save the run (asking for a file), then try again
        Cancel     // leave everything as it is
    };

    // A connection starts a run that is in no file.
    void started() { m_unsaved = true; }
    // The run has been saved, or the histories now hold a run read from a file.
    void kept() { m_unsaved = false; }
    bool isUnsaved() const { return m_unsaved; }

    // Whether the histories, holding `samples` samples, may be replaced only after asking.
    bool needsQuestion(qint64 samples) const { return m_unsaved && samples > 0; }
    static QString question(qint64 samples);
    // What the answer to the question means; Discard lets the run go.
    Outcome answered(Answer answer);

private:
    bool m_unsaved = false;
};
