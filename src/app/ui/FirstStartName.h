#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class SettingsStore;

// The first start: no alias is stored yet. The user is asked for a name once, before being announced,
// with the login's full name offered. Cancelling stores the empty alias, so the question does not
// come again; the name can be set any time in "My profile".
class FirstStartName : public QDialog {
    Q_OBJECT
public:
    explicit FirstStartName(const QString &offered, QWidget *parent = nullptr);
    QString name() const;
    QLineEdit *field() const { return m_edName; }

    // The full name of the login (the first field of its GECOS entry), else the login name.
    static QString LoginFullName();
    // The GECOS field's full name: the text before the first comma, "&" as the login capitalised.
    static QString FullNameFromGecos(const QString &gecos, const QString &login);
    // True when the store holds no alias at all (not even an empty one).
    static bool IsFirstStart(const SettingsStore &store);
    // Asks when IsFirstStart(); stores what the user answers. True when a name was stored.
    static bool AskIfFirstStart(const SettingsStore &store, QWidget *parent = nullptr);

private:
    QLineEdit *m_edName;
};
