#include "features/ui/fmAnsweringmachineUn.h"
#include "features/ui/ToolbarKeys.h"

#include "features/LngUn.h"
#include "features/ui/ImageList.h"
#include "protocol/ConstUnit.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int PositionRole = Qt::UserRole + 1;
} // namespace

void ApplySelectionColors(QWidget *view)
{
    QPalette palette = view->palette();
    const QColor highlight = palette.color(QPalette::Highlight).lighter(170);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight, highlight);
        palette.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    view->setPalette(palette);
}

TfmAnsweringmachine::TfmAnsweringmachine(const SettingsStore &store, std::function<bool(int)> openHelp,
                                         QWidget *parent)
    : QDialog(parent)
    , m_variants(store)
    , m_openHelp(std::move(openHelp))
{
    setObjectName(QStringLiteral("fmAnsweringmachine"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildForm();
    loadVariants();
    applyTexts();
    m_modified = false;
    updateState();
}

void TfmAnsweringmachine::buildForm()
{
    resize(440, 330);
    buildVariantsPane();
    buildDetailsPane();
    QHBoxLayout *buttons = buildButtons();

    auto *panes = new QHBoxLayout;
    panes->addWidget(m_gbAM1, 1);
    panes->addWidget(m_gbAM2, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(panes, 1);
    layout->addLayout(buttons);

    // The window sees every key first, whichever control has the focus.
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
    installEventFilter(this);
}

void TfmAnsweringmachine::buildVariantsPane()
{
    m_gbAM1 = new QGroupBox(this);
    m_gbAM1->setObjectName(QStringLiteral("gbAM1"));
    m_actAddNewTextAnswer = new QAction(ToolbarIcon(QStringLiteral("auto-reply"), 16), QString(), this);
    m_actAddNewTextAnswer->setObjectName(QStringLiteral("actAddNewTextAnswer"));
    m_actDeleteTextAnswer = new QAction(ToolbarIcon(QStringLiteral("auto-reply-off"), 16), QString(), this);
    m_actDeleteTextAnswer->setObjectName(QStringLiteral("actDeleteTextAnswer"));
    connect(m_actAddNewTextAnswer, &QAction::triggered, this, &TfmAnsweringmachine::AddNewTextAnswer);
    connect(m_actDeleteTextAnswer, &QAction::triggered, this, &TfmAnsweringmachine::DeleteTextAnswer);
    m_toolbar = new QToolBar(m_gbAM1);
    MakeToolbarReachable(m_toolbar);
    m_toolbar->setObjectName(QStringLiteral("tbVariants"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolbar->addAction(m_actAddNewTextAnswer);
    m_toolbar->addAction(m_actDeleteTextAnswer);
    m_tvVariants = new QTreeWidget(m_gbAM1);
    m_tvVariants->setObjectName(QStringLiteral("tvVariants"));
    m_tvVariants->setAccessibleName(QStringLiteral("Auto-reply variants"));
    m_tvVariants->setHeaderHidden(true);
    m_tvVariants->setRootIsDecorated(false);
    m_tvVariants->setContextMenuPolicy(Qt::CustomContextMenu);
    ApplySelectionColors(m_tvVariants);
    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("pmVariants"));
    m_popup->addAction(m_actAddNewTextAnswer);
    m_popup->addAction(m_actDeleteTextAnswer);
    connect(m_tvVariants, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_popup->popup(m_tvVariants->viewport()->mapToGlobal(pos)); });
    connect(m_tvVariants, &QTreeWidget::itemSelectionChanged, this, &TfmAnsweringmachine::selectionChanged);
    auto *left = new QVBoxLayout(m_gbAM1);
    left->addWidget(m_toolbar);
    left->addWidget(m_tvVariants);
}

void TfmAnsweringmachine::buildDetailsPane()
{
    m_gbAM2 = new QGroupBox(this);
    m_gbAM2->setObjectName(QStringLiteral("gbAM2"));
    m_lbAnswerCaption = new QLabel(m_gbAM2);
    m_lbAnswerCaption->setObjectName(QStringLiteral("lbAnswerCaption"));
    m_edCaption = new QLineEdit(m_gbAM2);
    m_edCaption->setObjectName(QStringLiteral("edCaption"));
    m_lbAnswerCaption->setBuddy(m_edCaption);
    m_lbTextAnswer = new QLabel(m_gbAM2);
    m_lbTextAnswer->setObjectName(QStringLiteral("lbTextAnswer"));
    m_reText = new QPlainTextEdit(m_gbAM2);
    m_reText->setObjectName(QStringLiteral("reText"));
    m_lbTextAnswer->setBuddy(m_reText);
    connect(m_edCaption, &QLineEdit::textEdited, this, &TfmAnsweringmachine::captionEdited);
    connect(m_reText, &QPlainTextEdit::textChanged, this, &TfmAnsweringmachine::textEdited);
    auto *right = new QVBoxLayout(m_gbAM2);
    right->addWidget(m_lbAnswerCaption);
    right->addWidget(m_edCaption);
    right->addWidget(m_lbTextAnswer);
    right->addWidget(m_reText, 1);
}

QHBoxLayout *TfmAnsweringmachine::buildButtons()
{
    m_btnOk = new QPushButton(this);
    m_btnOk->setObjectName(QStringLiteral("btnOk"));
    m_btnCancel = new QPushButton(this);
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));
    m_btnApply = new QPushButton(this);
    m_btnApply->setObjectName(QStringLiteral("btnApply"));
    m_btnApply->setEnabled(false);
    connect(m_btnOk, &QPushButton::clicked, this, &TfmAnsweringmachine::Ok);
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_btnApply, &QPushButton::clicked, this, &TfmAnsweringmachine::Apply);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *b : {m_btnOk, m_btnCancel, m_btnApply}) {
        // Enter is the window's own key; no button takes it.
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    return buttons;
}

void TfmAnsweringmachine::applyTexts()
{
    setWindowTitle(Lng::Caption(QStringLiteral("TfmAnsweringmachine"), QStringLiteral("Auto-Reply options")));
    m_gbAM1->setTitle(Lng::Caption(QStringLiteral("gbAM1"), QStringLiteral("Variants of answers")));
    m_gbAM2->setTitle(Lng::Caption(QStringLiteral("gbAM2"), QStringLiteral("Details")));
    m_actAddNewTextAnswer->setText(
        Lng::Caption(QStringLiteral("actAddNewTextAnswer"), QStringLiteral("New")));
    m_actDeleteTextAnswer->setText(
        Lng::Caption(QStringLiteral("actDeleteTextAnswer"), QStringLiteral("Delete")));
    m_lbAnswerCaption->setText(Lng::Caption(QStringLiteral("lbAnswerCaption"), QStringLiteral("Caption:")));
    m_lbTextAnswer->setText(Lng::Caption(QStringLiteral("lbTextAnswer"), QStringLiteral("Text:")));
    m_btnOk->setText(ConstUnit::text(ConstUnit::Text::BtnOk));
    m_btnCancel->setText(ConstUnit::text(ConstUnit::Text::BtnCancel));
    m_btnApply->setText(ConstUnit::text(ConstUnit::Text::BtnApply));
}

void TfmAnsweringmachine::loadVariants()
{
    const int first = m_variants.count() + 1;
    m_variants.Load();
    for (int position = first; position <= m_variants.count(); ++position) {
        QTreeWidgetItem *node = addNode(position, m_variants.entry(position)->Caption);
        m_tvVariants->setCurrentItem(node);
    }
}

QTreeWidgetItem *TfmAnsweringmachine::addNode(int position, const QString &caption)
{
    auto *node = new QTreeWidgetItem(m_tvVariants, {caption});
    node->setData(0, PositionRole, position);
    return node;
}

int TfmAnsweringmachine::selectedPosition() const
{
    const QTreeWidgetItem *node = m_tvVariants->currentItem();
    if (!node || !node->isSelected())
        return 0;
    return node->data(0, PositionRole).toInt();
}

void TfmAnsweringmachine::AddNewTextAnswer()
{
    const int position = m_variants.AddNew();
    QTreeWidgetItem *node = addNode(position, QString());
    m_tvVariants->setCurrentItem(node);
    m_tvVariants->setFocus();
    m_modified = true;
    updateState();
    m_edCaption->setFocus();
}

void TfmAnsweringmachine::DeleteTextAnswer()
{
    const int position = selectedPosition();
    if (!m_variants.isActive(position))
        return;
    delete m_tvVariants->currentItem();
    m_variants.Delete(position);
    m_modified = true;
    updateState();
}

void TfmAnsweringmachine::selectionChanged()
{
    const RAnsweringVariants *entry = m_variants.entry(selectedPosition());
    updateState();
    m_filling = true;
    m_edCaption->setText(entry ? entry->Caption : QString());
    m_reText->setPlainText(entry ? entry->Text : QString());
    m_reText->document()->setModified(false);
    m_filling = false;
}

void TfmAnsweringmachine::captionEdited()
{
    const int position = selectedPosition();
    if (m_filling || !m_variants.SetCaption(position, m_edCaption->text()))
        return;
    m_tvVariants->currentItem()->setText(0, m_edCaption->text());
    updateState();
}

void TfmAnsweringmachine::textEdited()
{
    if (m_filling || !m_variants.SetText(selectedPosition(), m_reText->toPlainText()))
        return;
    updateState();
}

void TfmAnsweringmachine::setFieldEnabled(QWidget *field, bool enabled)
{
    if (field->isEnabled() == enabled && field->property("perixColored").toBool())
        return;
    field->setProperty("perixColored", true);
    QPalette palette = field->palette();
    const QColor color = enabled ? QApplication::palette().color(QPalette::Base)
                                 : QApplication::palette().color(QPalette::Button);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, color);
    field->setPalette(palette);
    field->setEnabled(enabled);
    if (enabled)
        return;
    m_filling = true;
    if (auto *line = qobject_cast<QLineEdit *>(field))
        line->clear();
    else if (auto *text = qobject_cast<QPlainTextEdit *>(field))
        text->clear();
    m_filling = false;
}

void TfmAnsweringmachine::updateState()
{
    const bool selected = selectedPosition() > 0;
    setFieldEnabled(m_edCaption, selected);
    setFieldEnabled(m_reText, selected);
    if (!m_modified && (m_edCaption->isModified() || m_reText->document()->isModified()))
        m_modified = true;
    m_btnApply->setEnabled(m_modified);
}

void TfmAnsweringmachine::Apply()
{
    m_variants.Save();
    m_modified = false;
    m_edCaption->setModified(false);
    m_reText->document()->setModified(false);
    m_btnApply->setEnabled(false);
}

void TfmAnsweringmachine::Ok()
{
    Apply();
    accept();
}

bool TfmAnsweringmachine::handleKey(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Shift+Enter is the one way to type a line break into the text.
        if (event->modifiers().testFlag(Qt::ShiftModifier) && m_reText->hasFocus())
            return false;
        Ok();
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    case Qt::Key_F1:
        if (m_openHelp)
            m_openHelp(HelpTopic);
        return true;
    default:
        return false;
    }
}

bool TfmAnsweringmachine::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const QWidget *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this && !m_popup->isVisible() && handleKey(key))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}
