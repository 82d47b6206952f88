#pragma once

#include "platform/Error.h"

#include <QStringList>
#include <QtGlobal>

// Expects body to throw platform::Error whose description holds every one of
// the given texts; returns false (with a warning saying what was wrong)
// otherwise, for the test to assert on.
template <typename Body> bool throwsNaming(Body body, const QStringList& texts)
{
    try {
        body();
    } catch (const platform::Error& e) {
        for (const QString& t : texts) {
            if (!e.description().contains(t)) {
                qWarning("message %s lacks %s", qPrintable(e.description()), qPrintable(t));
                return false;
            }
        }
        return true;
    }
    qWarning("nothing was thrown");
    return false;
}
