// Appends 10,000 messages of 200 characters to one transcript and reports the time of every
// thousand, so that growth with the transcript's length shows.
#include "BenchFolder.h"
#include "RVStyle.h"
#include "SettingsStore.h"
#include "TalkManager.h"
#include "frConnectUserUn.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const BenchFolder folder;
    QApplication app(argc, argv);
    constexpr int Messages = 10000;
    constexpr int Batch = 1000;

    QTabWidget pages;
    pages.resize(475, 309);
    TRVStyle style;
    SettingsStore store(folder.filePath(QStringLiteral("settings.ini")));
    TTalkManager talks(&pages, nullptr, store, &style, nullptr, nullptr, nullptr);
    talks.CreateTalk(QStringLiteral("All users"), 1, tkAllUsers, -1, {}, {}, {}, {}, {}, {});
    pages.show();

    const QString body = QString(200, u'w').replace(QStringLiteral("wwwww"), QStringLiteral("word "));
    QElapsedTimer total;
    total.start();
    qint64 first = 0;
    qint64 last = 0;
    QElapsedTimer batch;
    batch.start();
    for (int i = 1; i <= Messages; ++i) {
        const QString sender = QStringLiteral("{SENDER-%1}").arg(i % 7);
        talks.AppendMessage(0, sender, QStringLiteral("127.0.0.1"), body, 0x00204080 + i % 7, i % 25,
                            QStringLiteral("User %1").arg(i % 7));
        if (i % 100 == 0)
            QCoreApplication::processEvents();
        if (i % Batch == 0) {
            const qint64 ms = batch.restart();
            if (i == Batch)
                first = ms;
            if (i == Messages)
                last = ms;
            std::printf("messages %5d..%5d: %lld ms\n", i - Batch + 1, i, static_cast<long long>(ms));
        }
    }
    std::printf("total %lld ms; last 1,000 / first 1,000 = %.2f\n", static_cast<long long>(total.elapsed()),
                first > 0 ? double(last) / double(first) : 0.0);
    return 0;
}
