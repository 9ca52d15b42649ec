#include "peers/UserProfile.h"

#include "features/LngUn.h"
#include "features/RemoteText.h"
#include "settings/TMyUserData.h"

#include <utility>

namespace UserProfile {

namespace {

struct Limit {
    const char *name;
    int maxLength;
};

constexpr Limit Limits[] = {
    {"edAlias", 20},   {"edName1", 20},     {"edName2", 20},   {"edEMail", 100},    {"edICQ", 100},
    {"mmStreet", 100}, {"edTown", 100},     {"edField", 100},  {"edHome", 100},     {"mmWStreet", 100},
    {"edWTown", 100},  {"edWHome", 100},    {"edWField", 100}, {"edWName", 100},    {"edDepartment", 100},
    {"edWPost", 100},  {"edWorkType", 250}, {"edAge", 3},      {"mmInterest", 255},
};

} // namespace

int FieldLimit(const QString &objectName)
{
    for (const Limit &limit : Limits) {
        if (objectName == QLatin1StringView(limit.name))
            return limit.maxLength;
    }
    return 0;
}

QStringList LimitedFields()
{
    QStringList names;
    for (const Limit &limit : Limits)
        names.append(QString::fromLatin1(limit.name));
    return names;
}

QString MemoText(const QString &text)
{
    QString result = text;
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(u'\r', u'\n');
    return result;
}

QString StoredMemoText(const QString &shown, const QString &original)
{
    if (shown == MemoText(original))
        return original;
    if (!original.contains(QStringLiteral("\r\n")))
        return shown;
    return QString(shown).replace(u'\n', QStringLiteral("\r\n"));
}

} // namespace UserProfile

ProfileFields ProfileFieldsFromEntry(const RUserID &entry)
{
    ProfileFields f;
    f.alias = entry.Alias;
    f.firstName = entry.FirstName;
    f.secondName = entry.SecondName;
    f.eMail = entry.EMail;
    f.icq = entry.ICQ;
    f.color = entry.Color;
    f.street = entry.Street;
    f.town = entry.Town;
    f.field = entry.Field;
    f.home = entry.House;
    f.workStreet = entry.WorkStreet;
    f.workTown = entry.WorkTown;
    f.workHome = entry.WorkHouse;
    f.workField = entry.WorkField;
    f.workName = entry.WorkName;
    f.workDepartment = entry.WorkDepartment;
    f.workPost = entry.WorkPost;
    f.workType = entry.WorkType;
    f.sex = entry.Sex <= 2 ? entry.Sex : 0;
    f.age = QString::number(entry.Age);
    f.interest = entry.Interest;
    f.picture = entry.PictureIndex;
    return f;
}

QStringList ApplyProfileFields(const SettingsStore &store, RUserID *entry, const ProfileFields &f)
{
    TSetUserData writer(store, entry);
    using Setter = bool (TSetUserData::*)(const QString &);
    const std::pair<const char *, std::pair<Setter, QString>> order[] = {
        {Profile::Alias, {&TSetUserData::SetAlias, f.alias}},
        {Profile::Name, {&TSetUserData::SetName, f.firstName}},
        {Profile::Name2, {&TSetUserData::SetName2, f.secondName}},
        {Profile::Color, {&TSetUserData::SetColor, QString::number(f.color)}},
        {Profile::EMail, {&TSetUserData::SetEMail, f.eMail}},
        {Profile::ICQ, {&TSetUserData::SetICQ, f.icq}},
        {Profile::Street, {&TSetUserData::SetStreet, f.street}},
        {Profile::Town, {&TSetUserData::SetTown, f.town}},
        {Profile::Field, {&TSetUserData::SetField, f.field}},
        {Profile::House, {&TSetUserData::SetHouse, f.home}},
        {Profile::WStreet, {&TSetUserData::SetWStreet, f.workStreet}},
        {Profile::WTown, {&TSetUserData::SetWTown, f.workTown}},
        {Profile::WHouse, {&TSetUserData::SetWHouse, f.workHome}},
        {Profile::WField, {&TSetUserData::SetWField, f.workField}},
        {Profile::WName, {&TSetUserData::SetWName, f.workName}},
        {Profile::WDepartment, {&TSetUserData::SetWDepartment, f.workDepartment}},
        {Profile::WPost, {&TSetUserData::SetWPost, f.workPost}},
        {Profile::WTypeWork, {&TSetUserData::SetWTypeWork, f.workType}},
        {Profile::Sex, {&TSetUserData::SetSex, QString::number(f.sex >= 0 && f.sex <= 2 ? f.sex : 0)}},
        {Profile::Old, {&TSetUserData::SetOld, f.age}},
        {Profile::Interest, {&TSetUserData::SetInterest, f.interest}},
        {Profile::ImageIndex, {&TSetUserData::SetImageIndex, QString::number(f.picture)}},
    };
    QStringList written;
    for (const auto &[name, step] : order) {
        try {
            (writer.*step.first)(step.second);
        } catch (...) {
        }
        written.append(QString::fromLatin1(name));
    }
    return written;
}

ProfileCaptions ProfileCaptions::FromLanguage()
{
    ProfileCaptions c;
    const auto caption = [](const char *section, QString &text) {
        text = Lng::Caption(QString::fromLatin1(section), text);
    };
    caption("UserProfileForm", c.windowCaption);
    for (int i = 0; i < c.pages.size(); ++i)
        c.pages[i] = Lng::Caption(QStringLiteral("fmProfile%1").arg(i + 1), c.pages.at(i));
    caption("btnOkCaption", c.ok);
    caption("btnCancelCaption", c.cancel);
    caption("btnApplyCaption", c.apply);
    caption("gbPicture", c.picture);
    caption("lbAliase", c.alias);
    caption("lbFirstName", c.firstName);
    caption("lbSecondName", c.secondName);
    caption("lbColor", c.color);
    caption("gbName", c.nameGroup);
    caption("gbEMail", c.eMailGroup);
    caption("lbEMail", c.eMail);
    caption("lbICQ", c.icq);
    caption("lbStreet", c.street);
    caption("lbTown", c.town);
    caption("lbField", c.field);
    caption("lbHome", c.home);
    caption("lbWStreet", c.workStreet);
    caption("lbWTown", c.workTown);
    caption("lbWField", c.workField);
    caption("lbWHome", c.workHome);
    caption("gbHome", c.homeGroup);
    caption("gbWorkAdress", c.workAddressGroup);
    caption("lbWName", c.workName);
    caption("lbWDepartment", c.workDepartment);
    caption("lbWPost", c.workPost);
    caption("lbWorkType", c.workType);
    caption("gbOrganization", c.organizationGroup);
    caption("lbSex", c.sex);
    caption("lbAge", c.age);
    caption("lbInterest", c.interest);
    caption("gbPersonal", c.personalGroup);
    c.selectImageHint = Lng::Hint(QStringLiteral("btnSelectImage"), c.selectImageHint);
    caption("btnSelectImageConst", c.selectImage);
    caption("ForConst", c.forText);
    const char *sexNames[] = {"Not", "Men", "Women"};
    for (int i = 0; i < 3; ++i)
        c.sexes[i] = Lng::Text(QStringLiteral("cbSex"), QString::fromLatin1(sexNames[i]), c.sexes.at(i));
    c.mailHint = Lng::Hint(QStringLiteral("btnMail"), c.mailHint);
    return c;
}

QString ProfileCaptions::sexText(int sex) const
{
    return sexes.value(sex >= 0 && sex < sexes.size() ? sex : 0);
}

namespace {

bool blank(const QString &text)
{
    return text.trimmed().isEmpty();
}

} // namespace

QList<ProfileSummaryLine> BuildProfileSummary(const ProfileFields &f, const QString &ip, const QString &mac,
                                              const ProfileCaptions &c)
{
    QList<ProfileSummaryLine> lines;
    const auto addField = [&lines](const QString &label, const QString &value) {
        if (!blank(label) && !blank(value))
            lines.append({ProfileSummaryLine::Field, -1, label + u' ', value});
    };
    addField(QStringLiteral("IP:"), ip);
    addField(QStringLiteral("MAC:"), mac);

    using Rows = QList<std::pair<QString, QString>>;
    const std::pair<int, Rows> sections[] = {
        {UserProfile::BasicPage,
         {{c.alias, f.alias},
          {c.firstName, f.firstName},
          {c.secondName, f.secondName},
          {c.eMail, f.eMail},
          {c.icq, f.icq}}},
        {UserProfile::HomePage,
         {{c.street, f.street}, {c.town, f.town}, {c.field, f.field}, {c.home, f.home}}},
        {UserProfile::WorkPage,
         {{c.workStreet, f.workStreet},
          {c.workTown, f.workTown},
          {c.workHome, f.workHome},
          {c.workField, f.workField},
          {c.workName, f.workName},
          {c.workDepartment, f.workDepartment},
          {c.workPost, f.workPost},
          {c.workType, f.workType}}},
        {UserProfile::PersonalPage, {{c.sex, c.sexText(f.sex)}, {c.age, f.age}, {c.interest, f.interest}}},
    };
    for (const auto &[page, rows] : sections) {
        QString all;
        for (const auto &row : rows)
            all += row.second;
        if (blank(all))
            continue;
        lines.append({ProfileSummaryLine::Break, -1, QString(), QString()});
        lines.append({ProfileSummaryLine::Section, page, c.pages.value(page), QString()});
        for (const auto &[label, value] : rows)
            addField(label, value);
    }
    return lines;
}

QString ProfilePageHeader(int page, const ProfileCaptions &captions, const QString &alias)
{
    const QString caption = captions.pages.value(page);
    if (page != UserProfile::SummaryPage || blank(alias))
        return caption;
    return caption + u' ' + captions.forText + u' ' + RemoteText::isolate(alias);
}

QString PictureButtonCaption(const QString &alias, int picture, const ProfileCaptions &captions)
{
    if (!blank(alias) || picture != UserProfile::NoPicture)
        return alias;
    return captions.selectImage;
}

int PictureButtonWidth(int captionWidth, int glyphWidth)
{
    const int width = captionWidth + glyphWidth;
    return width < 26 ? 34 : width + 8;
}
