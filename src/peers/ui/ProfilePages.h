#pragma once

#include "peers/UserProfile.h"

#include <QList>
#include <QStackedWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTextBrowser;
class QToolButton;
class ColorBox;
class PictureButton;

// The pages of the profile window: the summary and the four pages of fields, filled from a profile
// and read back, editable for the local user and read-only for a peer.
class ProfilePages : public QStackedWidget {
    Q_OBJECT
public:
    ProfilePages(const ProfileCaptions &captions, QWidget *parent);

    void setEditable(bool editable);
    void load(const ProfileFields &fields);
    // The fields as they stand, with that picture.
    ProfileFields fields(int picture) const;
    QString alias() const;
    // Applying writes "Not specified" when no sex entry is selected.
    void selectFirstSexWhenNone();
    // The summary page from the fields as they stand, in the colour chosen.
    void buildSummary(int picture, const QString &ip, const QString &mac);

    QTextBrowser *summaryView() const { return m_reSummary; }
    PictureButton *pictureButton() const { return m_btnSelectImage; }
    // The edit fields and memos, in tab order.
    const QList<QWidget *> &textFields() const { return m_textFields; }
    bool isTextField(const QObject *object) const;

Q_SIGNALS:
    // The user changed a field (typed, chose a sex or a colour).
    void edited();
    void colorChosen();
    void aliasChanged();

private:
    QWidget *buildBasicPage();
    QWidget *buildHomePage();
    QWidget *buildWorkPage();
    QWidget *buildPersonalPage();
    QLineEdit *addEdit(const QString &name);
    QPlainTextEdit *addMemo(const QString &name, int lines);
    QLabel *addLabel(const QString &name, const QString &text);
    void alignLabels(const QList<QLabel *> &labels);
    void openMail();

    ProfileCaptions m_captions;
    bool m_editable = false;
    QTextBrowser *m_reSummary = nullptr;
    QLineEdit *m_edAlias = nullptr;
    QLineEdit *m_edName1 = nullptr;
    QLineEdit *m_edName2 = nullptr;
    QLineEdit *m_edEMail = nullptr;
    QLineEdit *m_edICQ = nullptr;
    ColorBox *m_edColor = nullptr;
    QPlainTextEdit *m_mmStreet = nullptr;
    QLineEdit *m_edTown = nullptr;
    QLineEdit *m_edField = nullptr;
    QLineEdit *m_edHome = nullptr;
    QPlainTextEdit *m_mmWStreet = nullptr;
    QLineEdit *m_edWTown = nullptr;
    QLineEdit *m_edWHome = nullptr;
    QLineEdit *m_edWField = nullptr;
    QLineEdit *m_edWName = nullptr;
    QLineEdit *m_edDepartment = nullptr;
    QLineEdit *m_edWPost = nullptr;
    QLineEdit *m_edWorkType = nullptr;
    QComboBox *m_cbSex = nullptr;
    QLineEdit *m_edAge = nullptr;
    QPlainTextEdit *m_mmInterest = nullptr;
    QLabel *m_lbPicture = nullptr;
    PictureButton *m_btnSelectImage = nullptr;
    QToolButton *m_btnMail = nullptr;
    QList<QWidget *> m_textFields;
};
