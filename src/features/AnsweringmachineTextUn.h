#pragma once

#include "settings/SettingsStore.h"

#include <QList>
#include <QString>
#include <QStringList>

// The prepared answers of the auto-reply. Each variant is one section of the settings store named
// "AMText!_" and a number, holding "Caption" and "Text". Every call opens the store and closes it
// again; failures read as empty.
namespace AnsweringmachineText {

inline constexpr char SectionPrefix[] = "AMText!_";

// "AMText!_" + number, without leading zeros.
QString SectionName(int number);
// A section counts when its name holds the prefix anywhere.
bool IsVariantSection(const QString &section);

struct Variant {
    QString Caption;
    QString Text;
};

// Empty when the section does not exist.
QString ReadCaption(const SettingsStore &store, const QString &section);
bool WriteVariant(const SettingsStore &store, int number, const QString &caption, const QString &text);
// Appends the variant sections in the store's order; the list's count, or -1 when the store
// cannot be read.
int ListVariantSections(const SettingsStore &store, QStringList *sections);
// Missing values read as empty.
Variant ReadVariant(const SettingsStore &store, const QString &section);
bool EraseAllVariants(const SettingsStore &store);
// Appends, in store order, each variant's caption to captions and its section to sections; the
// number of variants.
int ListCaptions(const SettingsStore &store, QStringList *captions, QStringList *sections);

} // namespace AnsweringmachineText

// One variant in the editor's working list.
struct RAnsweringVariants {
    QString Caption;
    QString Text;
    // The section it was loaded from; empty for a variant added in the editor.
    QString Section;
    bool Active = true;
    bool Deleted = false;
};

// The editor's working list. Entries are addressed by their position counted from 1; nothing is
// removed while the list lives, a deleted entry only goes inactive.
class AnsweringVariants {
public:
    explicit AnsweringVariants(SettingsStore store);

    // Appends every stored variant in store order; the number appended.
    int Load();
    // A new, empty, active entry; its position.
    int AddNew();
    // False, and nothing changed, for a position without an active entry.
    bool Delete(int position);
    bool SetCaption(int position, const QString &caption);
    bool SetText(int position, const QString &text);

    int count() const { return int(m_entries.size()); }
    // Null for 0 and for positions outside the list.
    const RAnsweringVariants *entry(int position) const;
    bool isActive(int position) const;

    // Erases every stored variant and writes each active entry under its position's number, so
    // deleted positions leave gaps.
    void Save() const;

private:
    SettingsStore m_store;
    QList<RAnsweringVariants> m_entries;
};
