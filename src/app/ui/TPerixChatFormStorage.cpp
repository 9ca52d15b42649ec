#include "app/ui/TPerixChatForm.h"

#include "app/ui/MainHistory.h"
#include "app/ui/MainNotices.h"
#include "features/LngUn.h"
#include "features/ui/PeerText.h"
#include "protocol/ConstUnit.h"
#include "settings/SettingsWriteReport.h"

#include <QDir>

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
