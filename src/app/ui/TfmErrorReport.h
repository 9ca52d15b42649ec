#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The texts of the error report that a language file may replace.
struct ErrorReportTexts {
    QString apology = QStringLiteral(
        "Excuse for the inconveniences, not documentary mistake of Perix Chat. Please, write us the letter, "
        "with the detailed description of a mistake. We shall try to correct a mistake as soon as possible. "
        "Thank for your cooperation!");
    QString description = QStringLiteral("Description:");
    QString ok = QStringLiteral("&OK");
    QString mail = QStringLiteral("&Mail>");
};

// Shows an error that no handler caught, and lets the user mail it to the support.
class TfmErrorReport : public QDialog {
    Q_OBJECT
public:
    explicit TfmErrorReport(const QString &description, QWidget *parent = nullptr,
                            const ErrorReportTexts &texts = ErrorReportTexts());

    // The "MailTo:" target of "&Mail>": the support address with a subject and the description as body.
    static QString MailTarget(const QString &description);

    QString description() const { return m_description; }
    QLabel *apologyLabel() const { return m_stText; }
    QLabel *descriptionLabel() const { return m_lbDescription; }
    QPlainTextEdit *descriptionField() const { return m_mmDescription; }
    QPushButton *okButton() const { return m_btnOk; }
    QPushButton *mailButton() const { return m_btnMail; }

private:
    QString m_description;
    QLabel *m_stText;
    QLabel *m_lbDescription;
    QPlainTextEdit *m_mmDescription;
    QPushButton *m_btnOk;
    QPushButton *m_btnMail;
};
