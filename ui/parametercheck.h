#pragma once

#include <QString>

// The check of a command parameter typed into its field against its Limit pair.
struct ParameterCheck
{
    float value = 0;       // what is stored: the number typed, or 0
    bool accepted = false; // false: out of range, the field is reset to "0" and shown red
    QString message;       // for the status line when not accepted
};

// `text` read as a number in the C locale: anything that is not a number (a NaN
// included) is 0, and is then checked as 0; a number too large for a float is an
// infinity, and so out of range.
ParameterCheck checkParameter(const QString &text, double min, double max, const QString &name);

// Whether a remembered field text may be restored: a short number within [min, max].
bool rememberedParameterFits(const QString &text, double min, double max);
