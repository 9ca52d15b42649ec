#include "app/ui/TPerixChatForm.h"

#include "app/ui/MainActionList.h"
#include "app/ui/MainHistory.h"
#include "app/ui/MainNotices.h"
#include "features/LngUn.h"
#include "features/ScreenFit.h"
#include "features/ui/LngMenu.h"
#include "features/ui/PeerText.h"
#include "protocol/ConstUnit.h"
#include "settings/SettingsWriteReport.h"
#include "settings/iniFileUn.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>

// What the program could not keep on disk: shown as a lasting notice, and on standard error.
void TPerixChatForm::connectWriteFailures()
{
    connect(
        m_history, &MainHistory::writeFailed, this,
        [this](const QString &talkName, const QString &folder) {
            m_notices->ShowLasting(ConstUnit::Format(
                Lng::Caption(QStringLiteral("HistoryWriteFailedText"),
                             QStringLiteral("The history of \"%s\" could not be written to \"%s\"; no file "
                                            "was left.")),
                {PeerText::name(talkName), QDir::toNativeSeparators(folder)}));
        },
        Qt::QueuedConnection);
    connect(
        &SettingsWriteReport::instance(), &SettingsWriteReport::writeFailed, this,
        [this](const QString &location) {
            const QString text = ConstUnit::Format(
                Lng::Caption(QStringLiteral("SettingsWriteFailedText"),
                             QStringLiteral("The settings could not be saved to \"%s\"; the stored ones are "
                                            "kept.")),
                {QDir::toNativeSeparators(location)});
            m_notices->ShowLasting(text);
            // The writes at closing fail when no window is left to show it.
            std::fprintf(stderr, "perixchat: %s\n", qPrintable(text));
        },
        Qt::QueuedConnection);
}

void TPerixChatForm::restorePlacement()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize desktop = screen ? screen->virtualSize() : QSize(1024, 768);
    const QSize workArea = screen ? screen->availableSize() : desktop;
    const QRect stored =
        MainWindowPlacement(readPlacement(m_context.store, Setting::MainWindowSection), desktop, workArea);
    const QScreen *target = QGuiApplication::screenAt(stored.center());
    const QRect placement = target ? FitIntoArea(stored, target->availableGeometry()) : stored;
    move(placement.topLeft());
    resize(placement.size());
}

void TPerixChatForm::storeSettings() const
{
    writePlacement(m_context.store, Setting::MainWindowSection, QRect(pos(), size()));
    writeToolbarLayout(m_context.store, saveState());
    m_actions->writeOptions(m_context.store);
    m_lngMenu->StoreChoice(m_context.store);
}
