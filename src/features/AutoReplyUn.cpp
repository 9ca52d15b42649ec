#include "features/AutoReplyUn.h"

AutoReply::AutoReply(SettingsStore store, QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
{}

const AutoReplyMenuState &AutoReply::Refresh(const QString &disconnectText)
{
    m_state.variantsRebuilt = false;
    if (m_on) {
        m_state.disconnectCaption = disconnectText;
    } else if (!m_chosen.trimmed().isEmpty()) {
        m_state.disconnectCaption = AnsweringmachineText::ReadCaption(m_store, m_chosen.trimmed());
        m_disconnectVisible = true;
    } else {
        m_state.disconnectCaption = disconnectText;
    }
    if (!m_on) {
        m_items.clear();
        QStringList captions;
        QStringList sections;
        const int count = AnsweringmachineText::ListCaptions(m_store, &captions, &sections);
        for (int i = 0; i < count; ++i)
            m_items.append({captions.at(i), sections.at(i), sections.at(i) == m_chosen});
        m_state.variantsRebuilt = true;
        m_state.variantsEnabled = !m_items.isEmpty();
    }
    m_state.disconnectVisible = m_disconnectVisible;
    m_state.variants = m_items;
    return m_state;
}

bool AutoReply::Pick(int index)
{
    if (index < 0 || index >= m_items.size())
        return false;
    for (int i = 0; i < m_items.size(); ++i)
        m_items[i].checked = i == index;
    m_state.variants = m_items;
    m_chosen = m_items.at(index).section;
    m_disconnectVisible = true;
    switchOn();
    return true;
}

void AutoReply::DisconnectClicked()
{
    if (m_on) {
        switchOff();
        return;
    }
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).section == m_chosen) {
            Pick(i);
            return;
        }
    }
}

void AutoReply::switchOn()
{
    m_on = true;
    m_disconnectVisible = true;
    m_state.disconnectVisible = true;
    Q_EMIT stateChanged(true);
}

void AutoReply::switchOff()
{
    m_on = false;
    m_disconnectVisible = false;
    m_state.disconnectVisible = false;
    Q_EMIT stateChanged(false);
}

std::optional<AnsweringmachineText::Variant> AutoReply::AnswerFor(bool carriesMarker, bool shownInTalk) const
{
    if (carriesMarker || !m_on || !shownInTalk)
        return std::nullopt;
    for (const AutoReplyMenuItem &item : m_items) {
        if (!item.checked)
            continue;
        AnsweringmachineText::Variant variant = AnsweringmachineText::ReadVariant(m_store, item.section);
        if (variant.Caption.isEmpty())
            return std::nullopt;
        return variant;
    }
    return std::nullopt;
}
