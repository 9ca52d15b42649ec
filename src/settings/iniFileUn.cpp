#include "settings/iniFileUn.h"

#include <cmath>

namespace {

constexpr qint32 MinNewMessagePanelHeight = 80;
constexpr qint32 NewMessagePanelMargin = 100;

constexpr qint32 MainWindowWidth = 460;
constexpr qint32 MainWindowHeight = 300;
constexpr qint32 UserListWidth = 180;

constexpr char LeftValue[] = "Left";
constexpr char TopValue[] = "Top";
constexpr char WidthValue[] = "Width";
constexpr char HeightValue[] = "Height";

qint32 roundHalfUp(double value)
{
    return static_cast<qint32>(std::floor(value + 0.5));
}

} // namespace

bool readSetting(const SettingsStore &store, const BoolSetting &setting)
{
    return store.readBool(QString::fromLatin1(setting.section), QString::fromLatin1(setting.name),
                          setting.defaultValue, setting.onReadError);
}

bool writeSetting(const SettingsStore &store, const BoolSetting &setting, bool value)
{
    return store.writeBool(QString::fromLatin1(setting.section), QString::fromLatin1(setting.name), value);
}

qint32 readSetting(const SettingsStore &store, const IntSetting &setting)
{
    const qint32 value =
        store.readInt(QString::fromLatin1(setting.section), QString::fromLatin1(setting.name),
                      setting.defaultValue, setting.onReadError);
    return value < setting.minValid || value > setting.maxValid ? setting.defaultValue : value;
}

bool writeSetting(const SettingsStore &store, const IntSetting &setting, qint32 value)
{
    return store.writeInt(QString::fromLatin1(setting.section), QString::fromLatin1(setting.name), value);
}

QString readSetting(const SettingsStore &store, const TextSetting &setting)
{
    return store.readString(QString::fromLatin1(setting.section), QString::fromLatin1(setting.name),
                            QString::fromUtf8(setting.defaultValue));
}

bool writeSetting(const SettingsStore &store, const TextSetting &setting, const QString &value)
{
    return store.writeString(QString::fromLatin1(setting.section), QString::fromLatin1(setting.name), value);
}

qint32 ClampNewMessagePanelHeight(qint32 height, qint32 frameWidth)
{
    if (height < MinNewMessagePanelHeight)
        return MinNewMessagePanelHeight;
    const qint64 limit = qint64(frameWidth) - NewMessagePanelMargin;
    return height > limit ? static_cast<qint32>(limit) : height;
}

qint32 readHeightNewMessagePanel(const SettingsStore &store, qint32 frameWidth)
{
    return ClampNewMessagePanelHeight(readSetting(store, Setting::HeightNewMessagePanel), frameWidth);
}

bool writeHeightNewMessagePanel(const SettingsStore &store, qint32 height)
{
    return writeSetting(store, Setting::HeightNewMessagePanel, height);
}

void ResetDialogAnswers(const SettingsStore &store)
{
    writeSetting(store, Setting::CloseTalkGroupValue, false);
    writeSetting(store, Setting::CloseTalkPrivateNotShow, false);
    writeSetting(store, Setting::CloseTalkPrivateCloseAll, true);
    writeSetting(store, Setting::CloseTalkPrivateLeaveAll, false);
}

StoredPlacement readPlacement(const SettingsStore &store, const QString &section)
{
    // One access for all four, so that a read error gives -1 for every value and so the fallback.
    const auto values = store.readInts(section,
                                       {QString::fromLatin1(LeftValue), QString::fromLatin1(TopValue),
                                        QString::fromLatin1(WidthValue), QString::fromLatin1(HeightValue)},
                                       -1);
    if (!values)
        return {};
    return StoredPlacement{values->at(0), values->at(1), values->at(2), values->at(3)};
}

bool writePlacement(const SettingsStore &store, const QString &section, const QRect &bounds)
{
    // Each value is attempted even when an earlier one failed.
    bool ok = store.writeInt(section, QString::fromLatin1(LeftValue), bounds.x());
    ok = store.writeInt(section, QString::fromLatin1(TopValue), bounds.y()) && ok;
    ok = store.writeInt(section, QString::fromLatin1(WidthValue), bounds.width()) && ok;
    ok = store.writeInt(section, QString::fromLatin1(HeightValue), bounds.height()) && ok;
    return ok;
}

bool IsPlacementUsable(const StoredPlacement &stored, QSize virtualDesktop)
{
    if (stored.left == -1 || stored.top == -1 || stored.width == -1 || stored.height == -1)
        return false;
    if (stored.left < 0 || stored.top < 0)
        return false;
    return qint64(stored.left) + stored.width <= virtualDesktop.width() &&
           qint64(stored.top) + stored.height <= virtualDesktop.height();
}

QRect MainWindowPlacement(const StoredPlacement &stored, QSize virtualDesktop, QSize workArea)
{
    if (IsPlacementUsable(stored, virtualDesktop))
        return QRect(stored.left, stored.top, stored.width, stored.height);
    return QRect(roundHalfUp(workArea.width() / 2.0 - MainWindowWidth / 2.0),
                 roundHalfUp(workArea.height() / 2.0 - MainWindowHeight / 2.0), MainWindowWidth,
                 MainWindowHeight);
}

QRect UserListPlacement(const StoredPlacement &stored, QSize virtualDesktop, const QRect &mainWindow)
{
    if (IsPlacementUsable(stored, virtualDesktop))
        return QRect(stored.left, stored.top, stored.width, stored.height);
    return QRect(mainWindow.x() + mainWindow.width(), mainWindow.y(), UserListWidth, mainWindow.height());
}

QByteArray readToolbarLayout(const SettingsStore &store)
{
    return store.readBytes(QString::fromLatin1(Setting::ToolbarSection),
                           QString::fromLatin1(Setting::ToolbarStateValue));
}

bool writeToolbarLayout(const SettingsStore &store, const QByteArray &layout)
{
    return store.writeBytes(QString::fromLatin1(Setting::ToolbarSection),
                            QString::fromLatin1(Setting::ToolbarStateValue), layout);
}
