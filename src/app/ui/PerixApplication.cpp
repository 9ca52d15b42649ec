#include "app/ui/PerixApplication.h"

#include "app/ui/LngApply.h"
#include "app/ui/TfmErrorReport.h"

#include <exception>
#include <utility>

namespace {

struct ErrorReporting {
    PerixApplication::ErrorHandler handler;
    QStringList suppressed;
    bool reporting = false;
};

ErrorReporting &reporting()
{
    static ErrorReporting state;
    return state;
}

void ShowErrorReport(const QString &text)
{
    TfmErrorReport report(text, QApplication::activeWindow(), LngApply::LanguageErrorReportTexts());
    report.exec();
}

} // namespace

PerixApplication::PerixApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{}

bool PerixApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ReportError(QString::fromUtf8(error.what()));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
    return false;
}

void PerixApplication::setErrorHandler(ErrorHandler handler)
{
    reporting().handler = std::move(handler);
}

QStringList PerixApplication::suppressedErrors()
{
    return reporting().suppressed;
}

void PerixApplication::clearSuppressedErrors()
{
    reporting().suppressed.clear();
}

void PerixApplication::ReportError(const QString &text)
{
    ErrorReporting &state = reporting();
    // The open report runs its own event loop; a failure inside it must not stack a second window.
    if (state.reporting) {
        state.suppressed.append(text);
        return;
    }
    state.reporting = true;
    // A copy, so that a handler may replace itself.
    const ErrorHandler handler = state.handler;
    try {
        if (handler)
            handler(text);
        else
            ShowErrorReport(text);
    } catch (const std::exception &error) {
        state.suppressed.append(QString::fromUtf8(error.what()));
    } catch (...) {
        state.suppressed.append(QStringLiteral("Unknown error"));
    }
    state.reporting = false;
}
