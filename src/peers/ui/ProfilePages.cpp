#include "peers/ui/ProfilePages.h"

#include "features/ui/ImageList.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/WireColor.h"
#include "peers/ui/ColorBox.h"
#include "peers/ui/LimitedMemo.h"
#include "peers/ui/PictureButton.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int FieldWidth = 260;

QGroupBox *groupBox(QWidget *parent, const QString &name, const QString &caption)
{
    auto *box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    return box;
}

} // namespace

ProfilePages::ProfilePages(const ProfileCaptions &captions, QWidget *parent)
    : QStackedWidget(parent)
    , m_captions(captions)
{
    setObjectName(QStringLiteral("pcProfile"));
    m_reSummary = new QTextBrowser(this);
    m_reSummary->setObjectName(QStringLiteral("reSummary"));
    m_reSummary->setOpenLinks(false);
    m_reSummary->setUndoRedoEnabled(false);
    addWidget(m_reSummary);
    addWidget(buildBasicPage());
    addWidget(buildHomePage());
    addWidget(buildWorkPage());
    addWidget(buildPersonalPage());
    connect(m_edAlias, &QLineEdit::textChanged, this, &ProfilePages::aliasChanged);
}

QLabel *ProfilePages::addLabel(const QString &name, const QString &text)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLineEdit *ProfilePages::addEdit(const QString &name)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setMinimumWidth(FieldWidth);
    m_textFields.append(edit);
    connect(edit, &QLineEdit::textEdited, this, &ProfilePages::edited);
    return edit;
}

QPlainTextEdit *ProfilePages::addMemo(const QString &name, int lines)
{
    auto *memo = new LimitedMemo(this);
    memo->setObjectName(name);
    memo->setTabChangesFocus(true);
    // The text starts where the edit fields' text does.
    memo->document()->setDocumentMargin(2);
    memo->setMinimumWidth(FieldWidth);
    const int lineHeight = memo->fontMetrics().lineSpacing();
    memo->setFixedHeight(lines * lineHeight + 2 * memo->frameWidth() + 8);
    m_textFields.append(memo);
    connect(memo, &QPlainTextEdit::textChanged, this, [this, memo] {
        // Loading a read-only copy changes the text too; only an edit in the editable window counts.
        if (m_editable && !memo->isReadOnly() && memo->hasFocus())
            Q_EMIT edited();
    });
    return memo;
}

void ProfilePages::alignLabels(const QList<QLabel *> &labels)
{
    int width = 0;
    for (const QLabel *label : labels)
        width = qMax(width, label->sizeHint().width());
    for (QLabel *label : labels)
        label->setMinimumWidth(width);
}

QWidget *ProfilePages::buildBasicPage()
{
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsBasicData"));
    auto *gbName = groupBox(page, QStringLiteral("gbName"), m_captions.nameGroup);
    auto *nameGrid = new QGridLayout(gbName);
    const QList<QLabel *> labels = {
        addLabel(QStringLiteral("lbAliase"), m_captions.alias),
        addLabel(QStringLiteral("lbFirstName"), m_captions.firstName),
        addLabel(QStringLiteral("lbSecondName"), m_captions.secondName),
        addLabel(QStringLiteral("lbColor"), m_captions.color),
        addLabel(QStringLiteral("lbPicture"), m_captions.picture + u':'),
        addLabel(QStringLiteral("lbEMail"), m_captions.eMail),
        addLabel(QStringLiteral("lbICQ"), m_captions.icq),
    };
    m_lbPicture = labels.at(4);
    m_edAlias = addEdit(QStringLiteral("edAlias"));
    m_edName1 = addEdit(QStringLiteral("edName1"));
    m_edName2 = addEdit(QStringLiteral("edName2"));
    m_edColor = new ColorBox(this);
    m_edColor->setObjectName(QStringLiteral("edColor"));
    connect(m_edColor, &ColorBox::colorChosen, this, &ProfilePages::colorChosen);
    m_btnSelectImage = new PictureButton(this);
    m_btnSelectImage->setObjectName(QStringLiteral("btnSelectImage"));
    m_btnSelectImage->setToolTip(m_captions.selectImageHint);

    QWidget *fields[] = {m_edAlias, m_edName1, m_edName2, m_edColor};
    for (int row = 0; row < 4; ++row) {
        nameGrid->addWidget(labels.at(row), row, 0);
        nameGrid->addWidget(fields[row], row, 1);
    }
    // The picture button stands a fixed distance right of its label.
    auto *pictureRow = new QHBoxLayout;
    pictureRow->setContentsMargins(PictureButtonGap - nameGrid->horizontalSpacing(), 0, 0, 0);
    pictureRow->addWidget(m_btnSelectImage);
    pictureRow->addStretch(1);
    nameGrid->addWidget(m_lbPicture, 4, 0);
    nameGrid->addLayout(pictureRow, 4, 1);
    nameGrid->setColumnStretch(1, 1);

    auto *gbEMail = groupBox(page, QStringLiteral("gbEMail"), m_captions.eMailGroup);
    auto *mailGrid = new QGridLayout(gbEMail);
    m_edEMail = addEdit(QStringLiteral("edEMail"));
    m_edICQ = addEdit(QStringLiteral("edICQ"));
    m_btnMail = new QToolButton(this);
    m_btnMail->setObjectName(QStringLiteral("btnMail"));
    m_btnMail->setIcon(ToolbarIcon(QStringLiteral("mail"), 16));
    m_btnMail->setToolTip(m_captions.mailHint);
    m_btnMail->setAutoRaise(true);
    connect(m_btnMail, &QToolButton::clicked, this, &ProfilePages::openMail);
    auto *mailRow = new QHBoxLayout;
    mailRow->setSpacing(4);
    mailRow->addWidget(m_edEMail, 1);
    mailRow->addWidget(m_btnMail);
    mailGrid->addWidget(labels.at(5), 0, 0);
    mailGrid->addLayout(mailRow, 0, 1);
    mailGrid->addWidget(labels.at(6), 1, 0);
    mailGrid->addWidget(m_edICQ, 1, 1);
    mailGrid->setColumnStretch(1, 1);
    alignLabels(labels);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(gbName);
    layout->addWidget(gbEMail);
    layout->addStretch(1);
    return page;
}

QWidget *ProfilePages::buildHomePage()
{
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsHome"));
    auto *gbHome = groupBox(page, QStringLiteral("gbHome"), m_captions.homeGroup);
    auto *grid = new QGridLayout(gbHome);
    const QList<QLabel *> labels = {
        addLabel(QStringLiteral("lbStreet"), m_captions.street),
        addLabel(QStringLiteral("lbTown"), m_captions.town),
        addLabel(QStringLiteral("lbField"), m_captions.field),
        addLabel(QStringLiteral("lbHome"), m_captions.home),
    };
    m_mmStreet = addMemo(QStringLiteral("mmStreet"), 3);
    m_edTown = addEdit(QStringLiteral("edTown"));
    m_edField = addEdit(QStringLiteral("edField"));
    m_edHome = addEdit(QStringLiteral("edHome"));
    labels.at(0)->setAlignment(Qt::AlignRight | Qt::AlignTop);
    labels.at(0)->setContentsMargins(0, 4, 0, 0);
    QWidget *fields[] = {m_mmStreet, m_edTown, m_edField, m_edHome};
    for (int row = 0; row < 4; ++row) {
        grid->addWidget(labels.at(row), row, 0);
        grid->addWidget(fields[row], row, 1);
    }
    grid->setColumnStretch(1, 1);
    alignLabels(labels);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(gbHome);
    layout->addStretch(1);
    return page;
}

QWidget *ProfilePages::buildWorkPage()
{
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsWork"));
    auto *gbAddress = groupBox(page, QStringLiteral("gbWorkAdress"), m_captions.workAddressGroup);
    auto *gbOrganization = groupBox(page, QStringLiteral("gbOrganization"), m_captions.organizationGroup);
    auto *addressGrid = new QGridLayout(gbAddress);
    auto *organizationGrid = new QGridLayout(gbOrganization);
    const QList<QLabel *> labels = {
        addLabel(QStringLiteral("lbWStreet"), m_captions.workStreet),
        addLabel(QStringLiteral("lbWTown"), m_captions.workTown),
        addLabel(QStringLiteral("lbWField"), m_captions.workField),
        addLabel(QStringLiteral("lbWHome"), m_captions.workHome),
        addLabel(QStringLiteral("lbWName"), m_captions.workName),
        addLabel(QStringLiteral("lbWDepartment"), m_captions.workDepartment),
        addLabel(QStringLiteral("lbWPost"), m_captions.workPost),
        addLabel(QStringLiteral("lbWorkType"), m_captions.workType),
    };
    m_mmWStreet = addMemo(QStringLiteral("mmWStreet"), 2);
    m_edWTown = addEdit(QStringLiteral("edWTown"));
    m_edWField = addEdit(QStringLiteral("edWField"));
    m_edWHome = addEdit(QStringLiteral("edWHome"));
    m_edWName = addEdit(QStringLiteral("edWName"));
    m_edDepartment = addEdit(QStringLiteral("edDepartment"));
    m_edWPost = addEdit(QStringLiteral("edWPost"));
    m_edWorkType = addEdit(QStringLiteral("edWorkType"));
    labels.at(0)->setAlignment(Qt::AlignRight | Qt::AlignTop);
    labels.at(0)->setContentsMargins(0, 4, 0, 0);
    QWidget *fields[] = {m_mmWStreet, m_edWTown,      m_edWField, m_edWHome,
                         m_edWName,   m_edDepartment, m_edWPost,  m_edWorkType};
    for (int row = 0; row < 8; ++row) {
        QGridLayout *grid = row < 4 ? addressGrid : organizationGrid;
        grid->addWidget(labels.at(row), row % 4, 0);
        grid->addWidget(fields[row], row % 4, 1);
    }
    addressGrid->setColumnStretch(1, 1);
    organizationGrid->setColumnStretch(1, 1);
    alignLabels(labels);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(gbAddress);
    layout->addWidget(gbOrganization);
    layout->addStretch(1);
    return page;
}

QWidget *ProfilePages::buildPersonalPage()
{
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsPersonal"));
    auto *gbPersonal = groupBox(page, QStringLiteral("gbPersonal"), m_captions.personalGroup);
    auto *grid = new QGridLayout(gbPersonal);
    const QList<QLabel *> labels = {
        addLabel(QStringLiteral("lbSex"), m_captions.sex),
        addLabel(QStringLiteral("lbAge"), m_captions.age),
        addLabel(QStringLiteral("lbInterest"), m_captions.interest),
    };
    m_cbSex = new QComboBox(this);
    m_cbSex->setObjectName(QStringLiteral("cbSex"));
    m_cbSex->addItems(m_captions.sexes);
    connect(m_cbSex, &QComboBox::activated, this, &ProfilePages::edited);
    m_edAge = addEdit(QStringLiteral("edAge"));
    m_edAge->setMinimumWidth(0);
    m_edAge->setFixedWidth(m_edAge->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
    m_mmInterest = addMemo(QStringLiteral("mmInterest"), 7);
    labels.at(2)->setAlignment(Qt::AlignRight | Qt::AlignTop);
    labels.at(2)->setContentsMargins(0, 4, 0, 0);
    grid->addWidget(labels.at(0), 0, 0);
    grid->addWidget(m_cbSex, 0, 1, Qt::AlignLeft);
    grid->addWidget(labels.at(1), 1, 0);
    grid->addWidget(m_edAge, 1, 1, Qt::AlignLeft);
    grid->addWidget(labels.at(2), 2, 0);
    grid->addWidget(m_mmInterest, 2, 1);
    grid->setColumnStretch(1, 1);
    alignLabels(labels);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(gbPersonal);
    layout->addStretch(1);
    return page;
}

void ProfilePages::setEditable(bool editable)
{
    m_editable = editable;
    for (QWidget *field : std::as_const(m_textFields)) {
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, editable ? this->palette().color(QPalette::Base)
                                                  : this->palette().color(QPalette::Window));
        field->setPalette(palette);
        const int limit = editable ? UserProfile::FieldLimit(field->objectName()) : 0;
        if (auto *edit = qobject_cast<QLineEdit *>(field)) {
            edit->setReadOnly(!editable);
            // A peer's text is shown in full; the limits hold for what the user types.
            edit->setMaxLength(limit > 0 ? limit : 32767);
        } else if (auto *memo = qobject_cast<LimitedMemo *>(field)) {
            memo->setReadOnly(!editable);
            memo->setMaxLength(limit);
        }
    }
    m_cbSex->setEnabled(editable);
    m_edColor->setEnabled(editable);
    m_btnSelectImage->setCursor(editable ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void ProfilePages::load(const ProfileFields &f)
{
    m_edAlias->setText(f.alias);
    m_edName1->setText(f.firstName);
    m_edName2->setText(f.secondName);
    m_edEMail->setText(f.eMail);
    m_edICQ->setText(f.icq);
    m_edColor->setColor(f.color);
    m_mmStreet->setPlainText(UserProfile::MemoText(f.street));
    m_edTown->setText(f.town);
    m_edField->setText(f.field);
    m_edHome->setText(f.home);
    m_mmWStreet->setPlainText(UserProfile::MemoText(f.workStreet));
    m_edWTown->setText(f.workTown);
    m_edWHome->setText(f.workHome);
    m_edWField->setText(f.workField);
    m_edWName->setText(f.workName);
    m_edDepartment->setText(f.workDepartment);
    m_edWPost->setText(f.workPost);
    m_edWorkType->setText(f.workType);
    m_cbSex->setCurrentIndex(f.sex);
    m_edAge->setText(f.age);
    m_mmInterest->setPlainText(UserProfile::MemoText(f.interest));
    for (QWidget *field : std::as_const(m_textFields)) {
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->setCursorPosition(0);
    }
}

ProfileFields ProfilePages::fields(int picture) const
{
    ProfileFields f;
    f.alias = m_edAlias->text();
    f.firstName = m_edName1->text();
    f.secondName = m_edName2->text();
    f.eMail = m_edEMail->text();
    f.icq = m_edICQ->text();
    f.color = m_edColor->color();
    f.street = m_mmStreet->toPlainText();
    f.town = m_edTown->text();
    f.field = m_edField->text();
    f.home = m_edHome->text();
    f.workStreet = m_mmWStreet->toPlainText();
    f.workTown = m_edWTown->text();
    f.workHome = m_edWHome->text();
    f.workField = m_edWField->text();
    f.workName = m_edWName->text();
    f.workDepartment = m_edDepartment->text();
    f.workPost = m_edWPost->text();
    f.workType = m_edWorkType->text();
    f.sex = m_cbSex->currentIndex();
    f.age = m_edAge->text();
    f.interest = m_mmInterest->toPlainText();
    f.picture = picture;
    return f;
}

QString ProfilePages::alias() const
{
    return m_edAlias->text();
}

void ProfilePages::selectFirstSexWhenNone()
{
    if (m_cbSex->currentIndex() < 0)
        m_cbSex->setCurrentIndex(0);
}

bool ProfilePages::isTextField(const QObject *object) const
{
    for (const QWidget *field : m_textFields) {
        if (field == object)
            return true;
    }
    return false;
}

void ProfilePages::openMail()
{
    const QString address = m_edEMail->text().trimmed();
    if (!address.isEmpty())
        ShellOpen::open(QStringLiteral("MailTo:") + address);
}

void ProfilePages::buildSummary(int picture, const QString &ip, const QString &mac)
{
    QTextDocument *doc = m_reSummary->document();
    doc->clear();
    for (int i = 1; i < UserProfile::PageCount; ++i) {
        doc->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("page:%1").arg(i)),
                         ProfilePageImages16().image(i));
    }
    QTextCharFormat label;
    label.setFontWeight(QFont::Bold);
    QTextCharFormat value;
    value.setForeground(WireColorToQColor(m_edColor->color()));
    QTextCharFormat section = label;
    section.setFontPointSize(m_reSummary->font().pointSizeF() * 1.1);
    QTextCursor cursor(doc);
    bool first = true;
    for (const ProfileSummaryLine &line : BuildProfileSummary(fields(picture), ip, mac, m_captions)) {
        if (!first)
            cursor.insertBlock();
        first = false;
        switch (line.kind) {
        case ProfileSummaryLine::Field:
            cursor.insertText(line.label, label);
            // Lines of a memo stay inside the field's paragraph.
            cursor.insertText(QString(line.value).replace(u'\n', QChar::LineSeparator), value);
            break;
        case ProfileSummaryLine::Break:
            break;
        case ProfileSummaryLine::Section: {
            QTextImageFormat icon;
            icon.setName(QStringLiteral("page:%1").arg(line.icon));
            icon.setWidth(16);
            icon.setHeight(16);
            icon.setVerticalAlignment(QTextCharFormat::AlignMiddle);
            cursor.insertImage(icon);
            cursor.insertText(QStringLiteral("  ") + line.label, section);
            break;
        }
        }
    }
    m_reSummary->moveCursor(QTextCursor::Start);
}

