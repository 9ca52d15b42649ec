#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// The About window: the program's icon, name, version and a line about it. Esc, Enter and OK close it.
class TfmAbout : public QDialog {
    Q_OBJECT
public:
    static QString DefaultCaption() { return QStringLiteral("About Perix Chat"); }

    // An empty caption stands for the default one.
    explicit TfmAbout(QWidget *parent = nullptr, const QString &caption = QString());

    QLabel *productName() const { return m_lbProductName; }
    QLabel *version() const { return m_lbVersion; }
    QLabel *icon() const { return m_imIcon; }
    QPushButton *okButton() const { return m_btnOk; }

private:
    QLabel *m_imIcon;
    QLabel *m_lbProductName;
    QLabel *m_lbVersion;
    QLabel *m_lbDescription;
    QPushButton *m_btnOk;
};
