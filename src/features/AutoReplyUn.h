#pragma once

#include "features/AnsweringmachineTextUn.h"
#include "settings/SettingsStore.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// One entry of the "Variants" submenu as last built.
struct AutoReplyMenuItem {
    QString caption;
    QString section;
    bool checked = false;
};

// What the "Auto-Reply" menu shows after it was refreshed.
struct AutoReplyMenuState {
    QString disconnectCaption;
    bool disconnectVisible = false;
    // False while the auto-reply is on: the submenu stays as it was built before.
    bool variantsRebuilt = false;
    bool variantsEnabled = false;
    QList<AutoReplyMenuItem> variants;
};

// The auto-reply of one running copy: whether it is on, the chosen variant, the variants submenu as
// last built, and whether a received private message is answered. Off at every start; nothing of it
// is stored.
class AutoReply : public QObject {
    Q_OBJECT
public:
    explicit AutoReply(SettingsStore store, QObject *parent = nullptr);

    bool isOn() const { return m_on; }
    // The section of the variant picked last; empty until one is picked.
    QString chosenVariant() const { return m_chosen; }
    bool disconnectVisible() const { return m_disconnectVisible; }
    const QList<AutoReplyMenuItem> &variants() const { return m_items; }
    const AutoReplyMenuState &menuState() const { return m_state; }

    // The menu opens. disconnectText is the language text of "Disconnect Auto-Reply".
    const AutoReplyMenuState &Refresh(const QString &disconnectText);
    // A click on the variant at that position of the submenu as built; false for none.
    bool Pick(int index);
    // A click on "Disconnect Auto-Reply": off while on; while off, on again with the chosen variant
    // when the submenu still lists it.
    void DisconnectClicked();

    // The answer to a private message that was just received: nothing when it carries the
    // auto-reply marker, when the auto-reply is off, when it was shown in no talk, when no variant
    // is checked or when the variant's caption is empty.
    std::optional<AnsweringmachineText::Variant> AnswerFor(bool carriesMarker, bool shownInTalk) const;

Q_SIGNALS:
    // On or off; also emitted when another variant is picked while on.
    void stateChanged(bool on);

private:
    void switchOn();
    void switchOff();

    SettingsStore m_store;
    bool m_on = false;
    bool m_disconnectVisible = false;
    QString m_chosen;
    QList<AutoReplyMenuItem> m_items;
    AutoReplyMenuState m_state;
};
