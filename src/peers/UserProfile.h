#pragma once

#include "protocol/RUserID.h"

#include <QList>
#include <QString>
#include <QStringList>

class SettingsStore;

// The rules of the profile window that need no window: which entry field goes into which box, the
// character limits, the order in which an applied profile is written, the page headers, the picture
// button's caption and the summary page's content.
namespace UserProfile {

enum Page { SummaryPage = 0, BasicPage = 1, HomePage = 2, WorkPage = 3, PersonalPage = 4, PageCount = 5 };

inline constexpr int NoPicture = -1;

// Maximum characters of an edit field or memo, by its object name; 0 for a name without a limit.
int FieldLimit(const QString &objectName);
// The object names of every limited field, in the window's tab order.
QStringList LimitedFields();

// Memos show line breaks as line feeds, whatever the sender's system wrote.
QString MemoText(const QString &text);
// What a memo stores: the value as it was when the memo shows it unchanged, otherwise the memo's text
// with the line breaks the value had (CR LF when it held any, else LF).
QString StoredMemoText(const QString &shown, const QString &original);

} // namespace UserProfile

// What the profile window shows and applies: one text per field, the colour, the sex entry, the
// picture.
struct ProfileFields {
    QString alias;
    QString firstName;
    QString secondName;
    QString eMail;
    QString icq;
    qint32 color = 0;
    QString street;
    QString town;
    QString field;
    QString home;
    QString workStreet;
    QString workTown;
    QString workHome;
    QString workField;
    QString workName;
    QString workDepartment;
    QString workPost;
    QString workType;
    // 0 "Not specified", 1 "Men", 2 "Women"; -1 when nothing is selected.
    int sex = 0;
    // The age field as typed.
    QString age;
    QString interest;
    int picture = UserProfile::NoPicture;
};

// The fields of a peer-list entry as the window loads them: a sex number outside 0..2 selects 0,
// the age is shown in decimal.
ProfileFields ProfileFieldsFromEntry(const RUserID &entry);

// Writes the profile into the store's profile section, value by value in the window's order, and keeps
// the entry (entry 0, when given) in step with each value. A failed value does not stop the others.
// Returns the names of the values in the order they were written.
QStringList ApplyProfileFields(const SettingsStore &store, RUserID *entry, const ProfileFields &fields);

// Every text of the profile window that a language file may replace, with the built-in defaults.
struct ProfileCaptions {
    QString windowCaption = QStringLiteral("User profile");
    QStringList pages = {QStringLiteral("Summary data"), QStringLiteral("Basic data"), QStringLiteral("Home"),
                         QStringLiteral("Work"), QStringLiteral("Personal")};
    QString ok = QStringLiteral("&OK");
    QString cancel = QStringLiteral("&Cancel");
    QString apply = QStringLiteral("&Apply");
    QString picture = QStringLiteral("Picture");
    QString alias = QStringLiteral("Alias:");
    QString firstName = QStringLiteral("First name:");
    QString secondName = QStringLiteral("Second name:");
    QString color = QStringLiteral("Color:");
    QString nameGroup = QStringLiteral("Name");
    QString eMailGroup = QStringLiteral("E-Mail");
    QString eMail = QStringLiteral("E-Mail:");
    QString icq = QStringLiteral("ICQ:");
    QString street = QStringLiteral("Street:");
    QString town = QStringLiteral("Town:");
    QString field = QStringLiteral("Field:");
    QString home = QStringLiteral("Home:");
    QString workStreet = QStringLiteral("Street:");
    QString workTown = QStringLiteral("Town:");
    QString workField = QStringLiteral("Field:");
    QString workHome = QStringLiteral("Home:");
    QString homeGroup = QStringLiteral("Home");
    QString workAddressGroup = QStringLiteral("Work adress");
    QString workName = QStringLiteral("Name:");
    QString workDepartment = QStringLiteral("Department:");
    QString workPost = QStringLiteral("Post:");
    QString workType = QStringLiteral("Work type:");
    QString organizationGroup = QStringLiteral("Organization");
    QString sex = QStringLiteral("Sex:");
    QString age = QStringLiteral("Age:");
    QString interest = QStringLiteral("Interest:");
    QString personalGroup = QStringLiteral("Personal");
    QString selectImageHint = QStringLiteral("Please press here for a choice of the picture");
    QString selectImage = QStringLiteral("Choice of the picture");
    QString forText = QStringLiteral("for");
    QStringList sexes = {QStringLiteral("Not specified"), QStringLiteral("Men"), QStringLiteral("Women")};
    QString mailHint = QStringLiteral("Write a letter to this address");

    // The texts of the current language file, the defaults where it has none.
    static ProfileCaptions FromLanguage();
    // The sex entry's text; entry 0 for a number outside the list.
    QString sexText(int sex) const;
};

// One line of the summary page.
struct ProfileSummaryLine {
    enum Kind {
        // label (bold) and value (in the user's colour)
        Field,
        // an empty line before a section
        Break,
        // the section's icon, two blanks and its caption
        Section,
    };
    Kind kind = Field;
    // Section: the page icon number (1 to 4).
    int icon = -1;
    QString label;
    QString value;

    bool operator==(const ProfileSummaryLine &other) const = default;
};

// The summary page: the IP and MAC lines, then the four sections that hold any text, each with one
// line per field whose label and value are both non-blank. Labels carry their trailing blank.
QList<ProfileSummaryLine> BuildProfileSummary(const ProfileFields &fields, const QString &ip,
                                              const QString &mac, const ProfileCaptions &captions);

// The header of a page: its caption; on the summary page followed by "for" and the alias when the
// trimmed alias is not empty (the alias bidi-isolated).
QString ProfilePageHeader(int page, const ProfileCaptions &captions, const QString &alias);

// The picture button's caption: the alias when the trimmed alias is not empty or a picture is chosen,
// otherwise the "choice of the picture" text.
QString PictureButtonCaption(const QString &alias, int picture, const ProfileCaptions &captions);
// The picture button's width for a caption and glyph of those pixel widths.
int PictureButtonWidth(int captionWidth, int glyphWidth);
// The picture button stands this far right of the "Picture:" label.
inline constexpr int PictureButtonGap = 30;
