#include "features/AnsweringmachineTextUn.h"

namespace AnsweringmachineText {

namespace {
const QString CaptionValue = QStringLiteral("Caption");
const QString TextValue = QStringLiteral("Text");
} // namespace

QString SectionName(int number)
{
    return QLatin1StringView(SectionPrefix) + QString::number(number);
}

bool IsVariantSection(const QString &section)
{
    return section.contains(QLatin1StringView(SectionPrefix));
}

QString ReadCaption(const SettingsStore &store, const QString &section)
{
    return store.readString(section, CaptionValue);
}

bool WriteVariant(const SettingsStore &store, int number, const QString &caption, const QString &text)
{
    const QString section = SectionName(number);
    const bool captionWritten = store.writeString(section, CaptionValue, caption);
    return store.writeString(section, TextValue, text) && captionWritten;
}

int ListVariantSections(const SettingsStore &store, QStringList *sections)
{
    const std::optional<QStringList> all = store.readSections();
    if (!all)
        return -1;
    for (const QString &section : *all) {
        if (IsVariantSection(section) && sections)
            sections->append(section);
    }
    return sections ? int(sections->size()) : 0;
}

Variant ReadVariant(const SettingsStore &store, const QString &section)
{
    return {store.readString(section, CaptionValue), store.readString(section, TextValue)};
}

bool EraseAllVariants(const SettingsStore &store)
{
    QStringList sections;
    if (ListVariantSections(store, &sections) < 0)
        return false;
    bool erased = true;
    for (const QString &section : std::as_const(sections))
        erased = store.removeSection(section) && erased;
    return erased;
}

int ListCaptions(const SettingsStore &store, QStringList *captions, QStringList *sections)
{
    QStringList found;
    if (ListVariantSections(store, &found) < 0)
        return 0;
    for (const QString &section : std::as_const(found)) {
        if (captions)
            captions->append(ReadCaption(store, section));
        if (sections)
            sections->append(section);
    }
    return int(found.size());
}

} // namespace AnsweringmachineText

AnsweringVariants::AnsweringVariants(SettingsStore store)
    : m_store(std::move(store))
{}

int AnsweringVariants::Load()
{
    QStringList sections;
    AnsweringmachineText::ListVariantSections(m_store, &sections);
    for (const QString &section : std::as_const(sections)) {
        const AnsweringmachineText::Variant variant = AnsweringmachineText::ReadVariant(m_store, section);
        m_entries.append({variant.Caption, variant.Text, section, true, false});
    }
    return int(sections.size());
}

int AnsweringVariants::AddNew()
{
    m_entries.append(RAnsweringVariants{});
    return count();
}

const RAnsweringVariants *AnsweringVariants::entry(int position) const
{
    if (position < 1 || position > count())
        return nullptr;
    return &m_entries.at(position - 1);
}

bool AnsweringVariants::isActive(int position) const
{
    const RAnsweringVariants *e = entry(position);
    return e && e->Active;
}

bool AnsweringVariants::Delete(int position)
{
    if (!isActive(position))
        return false;
    RAnsweringVariants &e = m_entries[position - 1];
    e.Active = false;
    e.Deleted = true;
    return true;
}

bool AnsweringVariants::SetCaption(int position, const QString &caption)
{
    if (!isActive(position))
        return false;
    m_entries[position - 1].Caption = caption;
    return true;
}

bool AnsweringVariants::SetText(int position, const QString &text)
{
    if (!isActive(position))
        return false;
    m_entries[position - 1].Text = text;
    return true;
}

void AnsweringVariants::Save() const
{
    AnsweringmachineText::EraseAllVariants(m_store);
    for (int i = 1; i <= count(); ++i) {
        const RAnsweringVariants &e = m_entries.at(i - 1);
        if (e.Active)
            AnsweringmachineText::WriteVariant(m_store, i, e.Caption, e.Text);
    }
}
