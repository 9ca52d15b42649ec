#pragma once

#include "settings/SettingsStore.h"

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <QString>

#include <limits>

// One row of the settings table each: where the value lives, what a missing value reads as and what a
// store that cannot be read gives instead.
struct BoolSetting {
    const char *section;
    const char *name;
    bool defaultValue;
    bool onReadError;
};

// A stored number outside minValid..maxValid reads as the default.
struct IntSetting {
    const char *section;
    const char *name;
    qint32 defaultValue;
    qint32 onReadError;
    qint32 minValid = std::numeric_limits<qint32>::min();
    qint32 maxValid = std::numeric_limits<qint32>::max();
};

// Text reads as the default both when missing and when the store cannot be read.
struct TextSetting {
    const char *section;
    const char *name;
    const char *defaultValue;
};

namespace Setting {

inline constexpr BoolSetting StayOnTop{"StayOnTop", "Value", false, true};
inline constexpr BoolSetting StayOnTopUserList{"StayOnTopUserList", "Value", true, true};
inline constexpr BoolSetting ShowUserList{"ShowUserList", "Value", true, true};
inline constexpr BoolSetting HideInTrey{"HideInTrey", "Value", false, true};
inline constexpr BoolSetting ShowHint{"ShowHint", "Value", true, true};

inline constexpr BoolSetting ShowUserIPWhenMessage{"ShowMessageType", "actShowUserIPWhenMessage", false,
                                                   false};
inline constexpr BoolSetting ShowDataTimeWhenMessage{"ShowMessageType", "actShowDataTimewhenMessage", true,
                                                     true};
inline constexpr BoolSetting ShowPictureWhenMessage{"ShowMessageType", "actShowPictureWhenMessage", true,
                                                    true};

// A failed read leaves these options as they were created, which is their default.
inline constexpr BoolSetting BtnBigIcon{"ButtonsOptions", "actBtnBigIcon", true, true};
inline constexpr BoolSetting BtnLitleIcon{"ButtonsOptions", "actBtnLitleIcon", false, false};
inline constexpr BoolSetting ShowText{"ButtonsOptions", "actShowText", false, false};

inline constexpr BoolSetting SoundPerixChat{"PlaySound", "actSoundPerixChat", false, false};
inline constexpr BoolSetting SoundUserConnect{"PlaySound", "actSoundUserConnect", true, true};
inline constexpr BoolSetting SoundNewMessage{"PlaySound", "actSoundNewMessage", true, true};
inline constexpr BoolSetting SoundUserDisconnect{"PlaySound", "actSoundUserDisconnect", true, true};

inline constexpr BoolSetting StopGifAnimation{"StopGifAnimation", "value", false, false};
inline constexpr BoolSetting ShowGifAnimation{"ShowGifAnimation", "value", false, false};

inline constexpr BoolSetting StorySaveHistory{"fmStory", "SaveHistory", true, true};
inline constexpr BoolSetting StoryPeriodStorage{"fmStory", "PeriodStorage", false, false};
inline constexpr BoolSetting StorySaveAsRTF{"fmStory", "SaveAsRTF", false, true};
inline constexpr BoolSetting StorySaveAsTXT{"fmStory", "SaveAsTXT", true, false};
inline constexpr IntSetting StoryDays{"fmStory", "Days", 10, 10, 1, 999};

inline constexpr BoolSetting CloseTalkGroupValue{"CloseTalkGroupValue", "value", false, false};
inline constexpr BoolSetting CloseTalkPrivateNotShow{"CloseTalkGroupPrivateValue", "NotShow", false, false};
inline constexpr BoolSetting CloseTalkPrivateCloseAll{"CloseTalkGroupPrivateValue", "CloseAll", true, true};
inline constexpr BoolSetting CloseTalkPrivateLeaveAll{"CloseTalkGroupPrivateValue", "LeaveAll", false, false};

inline constexpr TextSetting LNGName{"LNGName", "Value", ""};

// The network card to send from (its system name; empty: the one holding the default route), and the
// further broadcast or host addresses every packet goes to, one a line.
inline constexpr TextSetting NetworkInterface{"Network", "Interface", ""};
inline constexpr TextSetting NetworkAddresses{"Network", "Addresses", ""};

// Lies in the base key itself; read through readHeightNewMessagePanel, which clamps it to the frame.
inline constexpr IntSetting HeightNewMessagePanel{"", "HeightNewMessagePanel", 80, 80};

// Placement sections are named after the window's class.
inline constexpr char MainWindowSection[] = "TPerixChatForm";
inline constexpr char UserListSection[] = "TfmUserList";

inline constexpr char ToolbarSection[] = "TBPAP";
inline constexpr char ToolbarStateValue[] = "State";

} // namespace Setting

bool readSetting(const SettingsStore &store, const BoolSetting &setting);
bool writeSetting(const SettingsStore &store, const BoolSetting &setting, bool value);
qint32 readSetting(const SettingsStore &store, const IntSetting &setting);
bool writeSetting(const SettingsStore &store, const IntSetting &setting, qint32 value);
QString readSetting(const SettingsStore &store, const TextSetting &setting);
bool writeSetting(const SettingsStore &store, const TextSetting &setting, const QString &value);

// Below 80 gives 80; otherwise above frameWidth - 100 gives frameWidth - 100.
qint32 ClampNewMessagePanelHeight(qint32 height, qint32 frameWidth);
qint32 readHeightNewMessagePanel(const SettingsStore &store, qint32 frameWidth);
bool writeHeightNewMessagePanel(const SettingsStore &store, qint32 height);

// The stored answers of the closing questions back to their defaults.
void ResetDialogAnswers(const SettingsStore &store);

// A window's bounds as stored; -1 marks a value that is not set.
struct StoredPlacement {
    qint32 left = -1;
    qint32 top = -1;
    qint32 width = -1;
    qint32 height = -1;
};

// All four values are -1 when the store cannot be read.
StoredPlacement readPlacement(const SettingsStore &store, const QString &section);
bool writePlacement(const SettingsStore &store, const QString &section, const QRect &bounds);

// True when every value is set, the corner is not negative and the window fits the virtual desktop.
bool IsPlacementUsable(const StoredPlacement &stored, QSize virtualDesktop);
// The stored bounds when usable, else 460 x 300 centred in the work area.
QRect MainWindowPlacement(const StoredPlacement &stored, QSize virtualDesktop, QSize workArea);
// The stored bounds when usable, else 180 wide against the main window's right edge, as tall as it.
QRect UserListPlacement(const StoredPlacement &stored, QSize virtualDesktop, const QRect &mainWindow);

// The main window's toolbar arrangement as one opaque blob; empty when none is stored.
QByteArray readToolbarLayout(const SettingsStore &store);
bool writeToolbarLayout(const SettingsStore &store, const QByteArray &layout);
