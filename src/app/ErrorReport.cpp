#include "app/ErrorReport.h"

#include "app/ProgramEnd.h"
#include "platform/MessageBox.h"

#include <exception>
#include <new>

namespace {

constexpr int reportedStatus = 1;

} // namespace

QString errorReportText(const platform::Error& error)
{
    return QStringLiteral("実行時エラー '%1':\r\n\r\n%2")
        .arg(error.number())
        .arg(error.description());
}

void reportErrorAndEnd(const platform::Error& error)
{
    try {
        platform::msgBox(errorReportText(error), platform::vbOKOnly | platform::vbCritical);
    } catch (...) {
        // The run ends all the same; there is nobody left to tell.
    }
    endProgram(reportedStatus);
}

void guarded(const std::function<void()>& handler)
{
    if (programEnded())
        return;
    try {
        handler();
    } catch (const platform::Error& error) {
        reportErrorAndEnd(error);
    } catch (const std::bad_alloc&) {
        reportErrorAndEnd(platform::Error(platform::Error::OutOfMemory,
                                          QStringLiteral("メモリが不足しています。")));
    } catch (const std::exception& error) {
        reportErrorAndEnd(
            platform::Error(platform::Error::Generic, QString::fromUtf8(error.what())));
    } catch (...) {
        reportErrorAndEnd(
            platform::Error(platform::Error::Generic, QStringLiteral("原因不明のエラーです。")));
    }
}
