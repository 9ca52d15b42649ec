#include "peers/ui/TfmUserProfileUn.h"

#include "features/ui/ImageList.h"
#include "features/ui/KeySwallow.h"
#include "features/ui/PeerText.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/WireColor.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/ColorBox.h"
#include "peers/ui/fmSelectPictureUn.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyleOption>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <limits>

namespace {

constexpr int GlyphSize = 32;
constexpr int PictureButtonHeight = 40;
// The narrowest the picture button becomes when the window has no more room.
constexpr int NarrowestPictureButton = 34;
constexpr int TreeWidth = 150;
constexpr int FieldWidth = 260;

// A memo that takes at most maxLength characters from the keyboard, the clipboard or a drop.
class LimitedMemo : public QPlainTextEdit {
public:
    explicit LimitedMemo(QWidget *parent)
        : QPlainTextEdit(parent)
    {}
    void setMaxLength(int maxLength) { m_maxLength = maxLength; }
    int maxLength() const { return m_maxLength; }

    // How many more characters fit when the selection is replaced.
    int room() const
    {
        if (m_maxLength <= 0)
            return std::numeric_limits<int>::max();
        const int selected = int(textCursor().selectedText().size());
        return qMax(0, m_maxLength - (int(toPlainText().size()) - selected));
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const QString text = event->text();
        if (!isReadOnly() && !text.isEmpty() && text.at(0).isPrint() && int(text.size()) > room()) {
            event->accept();
            return;
        }
        QPlainTextEdit::keyPressEvent(event);
    }
    void insertFromMimeData(const QMimeData *source) override
    {
        if (!source || !source->hasText() || isReadOnly())
            return;
        const QString text = UserProfile::MemoText(source->text()).left(room());
        if (!text.isEmpty())
            insertPlainText(text);
    }

private:
    int m_maxLength = 0;
};

// The picture button: the picture (or the "choose" bitmap) and the caption beside it, sized by the
// window's rule: 2 pixels, the glyph, 4 pixels, the caption, 2 pixels. Where the window has less
// room, it is narrower and the caption is cut short: a peer's alias never widens the window.
class PictureButton : public QAbstractButton {
public:
    explicit PictureButton(QWidget *parent)
        : QAbstractButton(parent)
    {
        setFixedHeight(PictureButtonHeight);
        setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        setMinimumWidth(NarrowestPictureButton);
        setFocusPolicy(Qt::StrongFocus);
    }
    void setGlyph(const QImage &glyph)
    {
        m_glyph = glyph;
        update();
    }
    void setCaption(const QString &caption)
    {
        m_caption = caption;
        setText(QString(caption).replace(u'&', QStringLiteral("&&")));
        m_width = PictureButtonWidth(fontMetrics().horizontalAdvance(caption), GlyphSize);
        setMaximumWidth(m_width);
        resize(m_width, height());
        updateGeometry();
        update();
    }
    QString caption() const { return m_caption; }
    QSize sizeHint() const override { return {m_width, PictureButtonHeight}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        QStyleOptionButton option;
        option.initFrom(this);
        option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &p, this);
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect().adjusted(3, 3, -3, -3);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
        }
        const int shift = isDown() ? 1 : 0;
        const QRect glyph(2 + shift, (height() - GlyphSize) / 2 + shift, GlyphSize, GlyphSize);
        if (!m_glyph.isNull())
            p.drawImage(glyph, m_glyph);
        p.setPen(palette().color(QPalette::ButtonText));
        const QRect text(glyph.right() + 5, shift, width() - glyph.right() - 7, height());
        p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                   fontMetrics().elidedText(m_caption, Qt::ElideRight, text.width()));
    }

private:
    QImage m_glyph;
    QString m_caption;
    int m_width = NarrowestPictureButton;
};

QGroupBox *groupBox(QWidget *parent, const QString &name, const QString &caption)
{
    auto *box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    return box;
}

bool isEnterKey(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

TfmUserProfile::TfmUserProfile(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_captions(ProfileCaptions::FromLanguage())
{
    setObjectName(QStringLiteral("fmUserProfile"));
    // The window's and panels' colours follow the main window's.
    setAttribute(Qt::WA_WindowPropagation);
    if (parent)
        setPalette(parent->palette());
    InitPictureResources();
    buildWindow();
    SetMode(false);
    setPicture(UserProfile::NoPicture);
}

TfmUserProfile::~TfmUserProfile() = default;

QLabel *TfmUserProfile::addLabel(const QString &name, const QString &text)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLineEdit *TfmUserProfile::addEdit(const QString &name)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setMinimumWidth(FieldWidth);
    m_textFields.append(edit);
    connect(edit, &QLineEdit::textEdited, this, &TfmUserProfile::enableApply);
    return edit;
}

QPlainTextEdit *TfmUserProfile::addMemo(const QString &name, int lines)
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
            enableApply();
    });
    return memo;
}

void TfmUserProfile::alignLabels(const QList<QLabel *> &labels)
{
    int width = 0;
    for (const QLabel *label : labels)
        width = qMax(width, label->sizeHint().width());
    for (QLabel *label : labels)
        label->setMinimumWidth(width);
}

void TfmUserProfile::buildWindow()
{
    setWindowTitle(m_captions.windowCaption);

    m_tvProfile = new QTreeWidget(this);
    m_tvProfile->setObjectName(QStringLiteral("tvProfile"));
    m_tvProfile->setHeaderHidden(true);
    m_tvProfile->setRootIsDecorated(false);
    m_tvProfile->setIndentation(4);
    m_tvProfile->setIconSize(QSize(16, 16));
    m_tvProfile->setFixedWidth(TreeWidth);
    for (int page = 0; page < UserProfile::PageCount; ++page) {
        auto *node = new QTreeWidgetItem(m_tvProfile, {m_captions.pages.value(page)});
        node->setIcon(0, ProfilePageImages16().icon(page));
        node->setData(0, Qt::UserRole, page);
        node->setSizeHint(0, QSize(TreeWidth - 8, 24));
    }

    m_imHeader = new QLabel(this);
    m_imHeader->setObjectName(QStringLiteral("imHeader"));
    m_imHeader->setFixedSize(GlyphSize, GlyphSize);
    m_imHeader->setAlignment(Qt::AlignCenter);
    m_lbHeader = new QLabel(this);
    m_lbHeader->setObjectName(QStringLiteral("lbHeader"));
    m_lbHeader->setTextFormat(Qt::PlainText);
    QFont headerFont = m_lbHeader->font();
    headerFont.setBold(true);
    headerFont.setPointSizeF(headerFont.pointSizeF() * 1.25);
    m_lbHeader->setFont(headerFont);
    m_lbHeader->setMinimumWidth(1);

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("pcProfile"));
    m_reSummary = new QTextBrowser(this);
    m_reSummary->setObjectName(QStringLiteral("reSummary"));
    m_reSummary->setOpenLinks(false);
    m_reSummary->setUndoRedoEnabled(false);
    m_pages->addWidget(m_reSummary);
    m_pages->addWidget(buildBasicPage());
    m_pages->addWidget(buildHomePage());
    m_pages->addWidget(buildWorkPage());
    m_pages->addWidget(buildPersonalPage());

    m_btnOK = new QPushButton(m_captions.ok, this);
    m_btnOK->setObjectName(QStringLiteral("btnOK"));
    m_btnOK->setDefault(true);
    m_btnCancel = new QPushButton(m_captions.cancel, this);
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));
    m_btnApply = new QPushButton(m_captions.apply, this);
    m_btnApply->setObjectName(QStringLiteral("btnApply"));
    for (QPushButton *button : {m_btnOK, m_btnCancel, m_btnApply})
        button->setMinimumWidth(88);
    connect(m_btnOK, &QPushButton::clicked, this, &TfmUserProfile::okPressed);
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_btnApply, &QPushButton::clicked, this, &TfmUserProfile::ApplyProfile);

    auto *headerRow = new QHBoxLayout;
    headerRow->setSpacing(10);
    headerRow->addWidget(m_imHeader);
    headerRow->addWidget(m_lbHeader, 1);
    auto *rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    auto *right = new QVBoxLayout;
    right->setSpacing(8);
    right->addLayout(headerRow);
    right->addWidget(rule);
    right->addWidget(m_pages, 1);
    auto *body = new QHBoxLayout;
    body->setSpacing(12);
    body->addWidget(m_tvProfile);
    body->addLayout(right, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnOK);
    buttons->addWidget(m_btnCancel);
    buttons->addWidget(m_btnApply);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);

    connect(m_tvProfile, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *node) {
        if (node)
            showPage(node->data(0, Qt::UserRole).toInt());
    });
    connect(m_edAlias, &QLineEdit::textChanged, this, [this] {
        refreshPicture();
        refreshHeader();
    });

    for (QWidget *child : findChildren<QWidget *>()) {
        if (child->focusPolicy() != Qt::NoFocus)
            child->installEventFilter(this);
    }
    layout->activate();
    setFixedSize(sizeHint());
    m_tvProfile->setCurrentItem(m_tvProfile->topLevelItem(0));
}

QWidget *TfmUserProfile::buildBasicPage()
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
    connect(m_edColor, &ColorBox::colorChosen, this, [this] {
        enableApply();
        if (currentPage() == UserProfile::SummaryPage)
            BuildSummary();
    });
    auto *pictureButton = new PictureButton(this);
    m_btnSelectImage = pictureButton;
    m_btnSelectImage->setObjectName(QStringLiteral("btnSelectImage"));
    m_btnSelectImage->setToolTip(m_captions.selectImageHint);
    connect(m_btnSelectImage, &QAbstractButton::pressed, this, &TfmUserProfile::chooserRequested);

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
    connect(m_btnMail, &QToolButton::clicked, this, &TfmUserProfile::openMail);
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

QWidget *TfmUserProfile::buildHomePage()
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

QWidget *TfmUserProfile::buildWorkPage()
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

QWidget *TfmUserProfile::buildPersonalPage()
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
    connect(m_cbSex, &QComboBox::activated, this, &TfmUserProfile::enableApply);
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

void TfmUserProfile::SetMode(bool editable)
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
        } else if (auto *memo = dynamic_cast<LimitedMemo *>(field)) {
            memo->setReadOnly(!editable);
            memo->setMaxLength(limit);
        }
    }
    m_cbSex->setEnabled(editable);
    m_edColor->setEnabled(editable);
    m_btnSelectImage->setCursor(editable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    m_btnApply->setEnabled(false);
}

void TfmUserProfile::LoadEntry(const RUserID &entry)
{
    const ProfileFields f = ProfileFieldsFromEntry(entry);
    m_loaded = f;
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
    m_ip = entry.IP;
    m_mac = entry.MAC;
    for (QWidget *field : std::as_const(m_textFields)) {
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->setCursorPosition(0);
    }
    setPicture(f.picture);
    m_btnApply->setEnabled(false);
    // The local user comes to edit; a peer's profile is first seen in summary.
    m_tvProfile->setCurrentItem(
        m_tvProfile->topLevelItem(m_editable ? UserProfile::BasicPage : UserProfile::SummaryPage));
    showPage(currentPage());
}

ProfileFields TfmUserProfile::fields() const
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
    f.picture = m_picture;
    return f;
}

void TfmUserProfile::setPicture(int picture)
{
    m_picture = picture;
    refreshPicture();
    refreshHeader();
}

void TfmUserProfile::refreshPicture()
{
    auto *button = static_cast<PictureButton *>(m_btnSelectImage);
    button->setGlyph(m_picture == UserProfile::NoPicture ? SelectPictureImage()
                                                         : ProfileImages32().image(m_picture));
    button->setCaption(PictureButtonCaption(m_edAlias->text(), m_picture, m_captions));
}

int TfmUserProfile::currentPage() const
{
    return m_pages->currentIndex();
}

QString TfmUserProfile::headerText() const
{
    return m_lbHeader->text();
}

void TfmUserProfile::showPage(int page)
{
    if (page < 0 || page >= UserProfile::PageCount)
        return;
    if (m_tvProfile->currentItem() != m_tvProfile->topLevelItem(page))
        m_tvProfile->setCurrentItem(m_tvProfile->topLevelItem(page));
    m_pages->setCurrentIndex(page);
    refreshHeader();
    if (page == UserProfile::SummaryPage)
        BuildSummary();
}

void TfmUserProfile::refreshHeader()
{
    const int page = currentPage();
    PeerText::setLabelText(m_lbHeader, ProfilePageHeader(page, m_captions, m_edAlias->text()));
    QPixmap image;
    if (page == UserProfile::SummaryPage && m_picture != UserProfile::NoPicture)
        image = ProfileImages32().pixmap(m_picture);
    if (image.isNull())
        image = ProfilePageImages32().pixmap(page);
    m_imHeader->setPixmap(image);
}

void TfmUserProfile::BuildSummary()
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
    for (const ProfileSummaryLine &line : BuildProfileSummary(fields(), m_ip, m_mac, m_captions)) {
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

void TfmUserProfile::enableApply()
{
    if (m_editable)
        m_btnApply->setEnabled(true);
}

void TfmUserProfile::ApplyProfile()
{
    if (!m_editable)
        return;
    if (m_cbSex->currentIndex() < 0)
        m_cbSex->setCurrentIndex(0);
    ProfileFields applied = fields();
    applied.street = UserProfile::StoredMemoText(applied.street, m_loaded.street);
    applied.workStreet = UserProfile::StoredMemoText(applied.workStreet, m_loaded.workStreet);
    applied.interest = UserProfile::StoredMemoText(applied.interest, m_loaded.interest);
    m_btnApply->setEnabled(false);
    if (m_registry)
        m_registry->ApplyLocalProfile(applied);
    // Applied again from this window, the memos now hold what was stored.
    m_loaded.street = applied.street;
    m_loaded.workStreet = applied.workStreet;
    m_loaded.interest = applied.interest;
}

void TfmUserProfile::okPressed()
{
    ApplyProfile();
    accept();
}

void TfmUserProfile::chooserRequested()
{
    if (!m_editable) {
        m_btnSelectImage->setDown(false);
        return;
    }
    TfmSelectPicture *chooser = TfmSelectPicture::Open(m_btnSelectImage, m_picture);
    if (!chooser)
        return;
    connect(chooser, &TfmSelectPicture::pictureChosen, this, [this](int picture) {
        setPicture(picture);
        enableApply();
    });
}

void TfmUserProfile::openMail()
{
    const QString address = m_edEMail->text().trimmed();
    if (!address.isEmpty())
        ShellOpen::open(QStringLiteral("MailTo:") + address);
}

bool TfmUserProfile::isTextField(const QObject *object) const
{
    for (const QWidget *field : m_textFields) {
        if (field == object)
            return true;
    }
    return false;
}

bool TfmUserProfile::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_F1) {
        Q_EMIT helpRequested(HelpTopic);
        return true;
    }
    if (key->key() == Qt::Key_Escape) {
        KeySwallow::Swallow(key->key());
        reject();
        return true;
    }
    if (isEnterKey(key)) {
        // Ctrl+Enter starts a new line in a memo; Enter itself always means OK.
        auto *memo = dynamic_cast<LimitedMemo *>(watched);
        if (memo && (key->modifiers() & Qt::ControlModifier)) {
            if (m_editable && memo->room() > 0) {
                memo->insertPlainText(QStringLiteral("\n"));
                enableApply();
            }
            return true;
        }
        KeySwallow::Swallow(key->key());
        // A focused button answers Enter itself.
        if (qobject_cast<QPushButton *>(watched))
            return QDialog::eventFilter(watched, event);
        okPressed();
        return true;
    }
    if (isTextField(watched)) {
        const QString text = key->text();
        if ((!text.isEmpty() && text.at(0).isPrint()) || key->key() == Qt::Key_Backspace ||
            key->key() == Qt::Key_Delete)
            enableApply();
    }
    return QDialog::eventFilter(watched, event);
}

void TfmUserProfile::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1) {
        Q_EMIT helpRequested(HelpTopic);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        KeySwallow::Swallow(event->key());
        reject();
        return;
    }
    if (isEnterKey(event)) {
        KeySwallow::Swallow(event->key());
        okPressed();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfmUserProfile::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TfmUserProfile::Execute(QWidget *parent, PeerRegistry *registry, int peerIndex,
                             const std::function<void(int)> &help)
{
    const RUserID *entry = registry ? registry->GetPeer(peerIndex) : nullptr;
    if (!entry)
        return;
    // The window shows a copy: the entry may change while it is open.
    const RUserID copy = *entry;
    const QPointer<TfmUserProfile> dialog = new TfmUserProfile(parent);
    dialog->setApplyTarget(registry);
    dialog->SetMode(peerIndex == 0);
    dialog->LoadEntry(copy);
    if (help)
        connect(dialog, &TfmUserProfile::helpRequested, dialog, [help](int topic) { help(topic); });
    dialog->exec();
    if (dialog)
        dialog->deleteLater();
}
