#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>

#include <functional>

// The application object: an exception that escapes an event handler ends at notify(), is shown in
// the error report, and the program goes on.
class PerixApplication : public QApplication {
    Q_OBJECT
public:
    using ErrorHandler = std::function<void(const QString &)>;

    PerixApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Test hook: the handler takes the place of the modal error report; an empty one restores it.
    static void setErrorHandler(ErrorHandler handler);
    // Errors that arrived while a report was still open; they get no report of their own.
    static QStringList suppressedErrors();
    static void clearSuppressedErrors();

private:
    static void ReportError(const QString &text);
};
