#pragma once

#include "platform/Error.h"

#include <QString>
#include <functional>

// The standard error report: a box that names an error the handlers did not
// handle, by number and description, after which the run ends.

// "実行時エラー '53':", an empty line, then the description, as operators and
// the support desk know the runtime's own report.
QString errorReportText(const platform::Error& error);

// Shows the report (critical icon, the application's title) and ends the run
// with a non-zero status.
void reportErrorAndEnd(const platform::Error& error);

// Runs one handler of a window. Whatever it throws ends in the report; once
// the run has ended, handlers no longer run at all.
void guarded(const std::function<void()>& handler);
