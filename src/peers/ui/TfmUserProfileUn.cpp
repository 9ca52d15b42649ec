#include "peers/ui/TfmUserProfileUn.h"

#include "features/ui/ImageList.h"
#include "features/ui/KeySwallow.h"
#include "features/ui/PeerText.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/LimitedMemo.h"
#include "peers/ui/PictureButton.h"
#include "peers/ui/ProfilePages.h"
#include "peers/ui/fmSelectPictureUn.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int TreeWidth = 150;

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

void TfmUserProfile::buildWindow()
{
    setWindowTitle(m_captions.windowCaption);
    buildTree();
    m_imHeader = new QLabel(this);
    m_imHeader->setObjectName(QStringLiteral("imHeader"));
    m_imHeader->setFixedSize(PictureButton::GlyphSize, PictureButton::GlyphSize);
    m_imHeader->setAlignment(Qt::AlignCenter);
    m_lbHeader = new QLabel(this);
    m_lbHeader->setObjectName(QStringLiteral("lbHeader"));
    m_lbHeader->setTextFormat(Qt::PlainText);
    QFont headerFont = m_lbHeader->font();
    headerFont.setBold(true);
    headerFont.setPointSizeF(headerFont.pointSizeF() * 1.25);
    m_lbHeader->setFont(headerFont);
    m_lbHeader->setMinimumWidth(1);

    m_pages = new ProfilePages(m_captions, this);
    connect(m_pages, &ProfilePages::edited, this, &TfmUserProfile::enableApply);
    connect(m_pages, &ProfilePages::colorChosen, this, [this] {
        enableApply();
        if (currentPage() == UserProfile::SummaryPage)
            BuildSummary();
    });
    connect(m_pages->pictureButton(), &QAbstractButton::pressed, this, &TfmUserProfile::chooserRequested);
    connect(m_pages, &ProfilePages::aliasChanged, this, [this] {
        refreshPicture();
        refreshHeader();
    });

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

    layOut();
    for (QWidget *child : findChildren<QWidget *>()) {
        if (child->focusPolicy() != Qt::NoFocus)
            child->installEventFilter(this);
    }
    // One size for the window, whatever it will show.
    layout()->activate();
    setFixedSize(sizeHint());
    m_tvProfile->setCurrentItem(m_tvProfile->topLevelItem(0));
}

void TfmUserProfile::buildTree()
{
    m_tvProfile = new QTreeWidget(this);
    m_tvProfile->setObjectName(QStringLiteral("tvProfile"));
    m_tvProfile->setAccessibleName(QStringLiteral("Profile pages"));
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
    connect(m_tvProfile, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *node) {
        if (node)
            showPage(node->data(0, Qt::UserRole).toInt());
    });
}

void TfmUserProfile::layOut()
{
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
}

void TfmUserProfile::SetMode(bool editable)
{
    m_editable = editable;
    m_pages->setEditable(editable);
    m_btnApply->setEnabled(false);
}

void TfmUserProfile::LoadEntry(const RUserID &entry)
{
    const ProfileFields f = ProfileFieldsFromEntry(entry);
    m_loaded = f;
    m_pages->load(f);
    m_ip = entry.IP;
    m_mac = entry.MAC;
    setPicture(f.picture);
    m_btnApply->setEnabled(false);
    // The local user comes to edit; a peer's profile is first seen in summary.
    m_tvProfile->setCurrentItem(
        m_tvProfile->topLevelItem(m_editable ? UserProfile::BasicPage : UserProfile::SummaryPage));
    showPage(currentPage());
}

ProfileFields TfmUserProfile::fields() const
{
    return m_pages->fields(m_picture);
}

QTextBrowser *TfmUserProfile::summaryView() const
{
    return m_pages->summaryView();
}

void TfmUserProfile::BuildSummary()
{
    m_pages->buildSummary(m_picture, m_ip, m_mac);
}

void TfmUserProfile::setPicture(int picture)
{
    m_picture = picture;
    refreshPicture();
    refreshHeader();
}

void TfmUserProfile::refreshPicture()
{
    PictureButton *button = m_pages->pictureButton();
    button->setGlyph(m_picture == UserProfile::NoPicture ? SelectPictureImage()
                                                         : ProfileImages32().image(m_picture));
    button->setCaption(PictureButtonCaption(m_pages->alias(), m_picture, m_captions));
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
    PeerText::setLabelText(m_lbHeader, ProfilePageHeader(page, m_captions, m_pages->alias()));
    QPixmap image;
    if (page == UserProfile::SummaryPage && m_picture != UserProfile::NoPicture)
        image = ProfileImages32().pixmap(m_picture);
    if (image.isNull())
        image = ProfilePageImages32().pixmap(page);
    m_imHeader->setPixmap(image);
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
    m_pages->selectFirstSexWhenNone();
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
        m_pages->pictureButton()->setDown(false);
        return;
    }
    TfmSelectPicture *chooser = TfmSelectPicture::Open(m_pages->pictureButton(), m_picture);
    if (!chooser)
        return;
    connect(chooser, &TfmSelectPicture::pictureChosen, this, [this](int picture) {
        setPicture(picture);
        enableApply();
    });
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
        auto *memo = qobject_cast<LimitedMemo *>(watched);
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
    if (m_pages->isTextField(watched)) {
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

void TfmUserProfile::setKeys(const ProfileKeys &keys)
{
    delete m_keysPanel;
    m_keysPanel = new ProfileKeysPanel(keys, this);
    if (auto *main = qobject_cast<QVBoxLayout *>(layout()))
        main->insertWidget(1, m_keysPanel);
}

void TfmUserProfile::Execute(QWidget *parent, PeerRegistry *registry, int peerIndex,
                             const std::function<void(int)> &help, const std::optional<ProfileKeys> &keys)
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
    if (keys)
        dialog->setKeys(*keys);
    if (help)
        connect(dialog, &TfmUserProfile::helpRequested, dialog, [help](int topic) { help(topic); });
    dialog->exec();
    if (dialog)
        dialog->deleteLater();
}
