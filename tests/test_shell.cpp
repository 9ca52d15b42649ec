#include "app/ui/PerixApplication.h"
#include "app/ui/ProductLinks.h"
#include "app/ui/TfmAbout.h"
#include "app/ui/TfmErrorReport.h"
#include "features/ui/PeerText.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/StatusPanels.h"
#include "features/ui/TrayIcon.h"

#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <functional>
#include <memory>
#include <stdexcept>

namespace {

const QEvent::Type ThrowStdEvent = QEvent::Type(QEvent::User + 11);
const QEvent::Type ThrowOtherEvent = QEvent::Type(QEvent::User + 12);
const QEvent::Type PingEvent = QEvent::Type(QEvent::User + 13);

// Fails in its event handler the way a faulty handler of the program would.
class Thrower : public QObject {
public:
    int pings = 0;
    QString message = QStringLiteral("boom");
    std::function<void()> beforeThrow;

    bool event(QEvent *event) override
    {
        if (event->type() == ThrowStdEvent) {
            if (beforeThrow)
                beforeThrow();
            throw std::runtime_error(message.toStdString());
        }
        if (event->type() == ThrowOtherEvent)
            throw 42;
        if (event->type() == PingEvent) {
            ++pings;
            return true;
        }
        return QObject::event(event);
    }
};

QPixmap filledPixmap(const QColor &color)
{
    QPixmap picture(16, 16);
    picture.fill(color);
    return picture;
}

// A text of at least "pixels" width in the given font.
QString textWiderThan(const QFontMetrics &metrics, int pixels)
{
    QString text = QStringLiteral("W");
    while (metrics.horizontalAdvance(text) <= pixels)
        text += u'W';
    return text;
}

void settleLayouts()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
}

QLabel *panel(StatusPanels &bar, int index)
{
    return bar.findChild<QLabel *>(QStringLiteral("StatusPanel%1").arg(index));
}

int widthsBeforeLastPanel(const StatusPanels &bar)
{
    int sum = 0;
    for (int i = 0; i < StatusPanels::PanelCount - 1; ++i)
        sum += bar.panelWidth(i);
    return sum;
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();

    void statusPanelsLayout();
    void panelWidthRule_data();
    void panelWidthRule();
    void panelWidthFromFontMetrics();
    void invalidPanelIndexDoesNothing();
    void userImageFollowsPanels();
    void showIdentity();
    void myImageDoubleClick();
    void noticeShowAndClear();

    void trayWithoutSystemTray();
    void trayFrames();

    void aboutTexts();
    void aboutClosesWithKeys_data();
    void aboutClosesWithKeys();
    void aboutOkButton();

    void errorReportTexts();
    void errorReportMail();
    void errorReportOk();

    void exceptionReachesHandlerAndProgramGoesOn();
    void unknownExceptionIsReported();
    void exceptionDuringReportIsOnlyRecorded();
    void defaultHandlerShowsErrorReport();
};

void TestShell::cleanup()
{
    PerixApplication::setErrorHandler({});
    PerixApplication::clearSuppressedErrors();
    ShellOpen::setRecording(false);
    ShellOpen::clearOpened();
}

void TestShell::statusPanelsLayout()
{
    StatusPanels bar;
    QCOMPARE(bar.objectName(), QStringLiteral("JvStatusBar"));
    const QList<int> widths{18, 50, 50, 50, 50, 50};
    for (int i = 0; i < StatusPanels::PanelCount; ++i) {
        QLabel *label = panel(bar, i);
        QVERIFY2(label, qPrintable(QStringLiteral("panel %1").arg(i)));
        QCOMPARE(bar.panelWidth(i), widths.at(i));
        QCOMPARE(label->width(), widths.at(i));
        QVERIFY(bar.panelText(i).isEmpty());
    }
    QVERIFY(!panel(bar, StatusPanels::PanelCount));

    QLabel *myImage = bar.findChild<QLabel *>(QStringLiteral("MyImage"));
    QVERIFY(myImage);
    QCOMPARE(myImage, bar.myImage());
    QCOMPARE(myImage->parentWidget(), panel(bar, 0));
    QCOMPARE(myImage->size(), QSize(16, 16));

    QLabel *userImage = bar.findChild<QLabel *>(QStringLiteral("imUserImage"));
    QVERIFY(userImage);
    QCOMPARE(userImage, bar.userImage());
    QCOMPARE(userImage->size(), QSize(16, 16));
    QVERIFY(userImage->isHidden());
    QVERIFY(!bar.isNoticeShown());
    QCOMPARE(bar.noticeSheet(), -1);
    QCOMPARE(userImage->x(), 18 + 4 * 50 + 4);
}

void TestShell::panelWidthRule_data()
{
    QTest::addColumn<int>("textWidth");
    QTest::addColumn<int>("panelWidth");
    QTest::newRow("400 px text is capped") << 400 << 200;
    QTest::newRow("empty text") << 0 << 30;
    QTest::newRow("narrow text") << 10 << 30;
    QTest::newRow("21 px") << 21 << 30;
    QTest::newRow("22 px reaches the minimum") << 22 << 30;
    QTest::newRow("23 px") << 23 << 31;
    QTest::newRow("in between") << 100 << 108;
    QTest::newRow("192 px reaches the maximum") << 192 << 200;
    QTest::newRow("193 px") << 193 << 200;
}

void TestShell::panelWidthRule()
{
    QFETCH(int, textWidth);
    QFETCH(int, panelWidth);
    QCOMPARE(StatusPanels::PanelWidthForText(textWidth), panelWidth);
}

void TestShell::panelWidthFromFontMetrics()
{
    StatusPanels bar;
    bar.resize(800, 24);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    const QFontMetrics metrics = panel(bar, 1)->fontMetrics();

    const QString wide = textWiderThan(metrics, 400);
    bar.SetStatusPanel(1, wide);
    QCOMPARE(bar.panelText(1), wide);
    QCOMPARE(bar.panelWidth(1), 200);

    bar.SetStatusPanel(1, QString());
    QCOMPARE(bar.panelWidth(1), 30);

    const QString middle = textWiderThan(metrics, 40);
    const int middleWidth = metrics.horizontalAdvance(middle);
    QVERIFY(middleWidth + 8 > 30 && middleWidth + 8 < 200);
    bar.SetStatusPanel(4, middle);
    QCOMPARE(bar.panelWidth(4), middleWidth + 8);
    settleLayouts();
    QCOMPARE(panel(bar, 4)->width(), middleWidth + 8);
    QCOMPARE(panel(bar, 1)->width(), 30);
    // The panel is wide enough for its text inside the frame.
    QVERIFY(panel(bar, 4)->contentsRect().width() >= middleWidth);
}

void TestShell::invalidPanelIndexDoesNothing()
{
    StatusPanels bar;
    bar.SetStatusPanel(3, QStringLiteral("kept"));
    QList<int> widths;
    QStringList texts;
    for (int i = 0; i < StatusPanels::PanelCount; ++i) {
        widths.append(bar.panelWidth(i));
        texts.append(bar.panelText(i));
    }
    bar.SetStatusPanel(-1, textWiderThan(bar.fontMetrics(), 300));
    bar.SetStatusPanel(StatusPanels::PanelCount, textWiderThan(bar.fontMetrics(), 300));
    for (int i = 0; i < StatusPanels::PanelCount; ++i) {
        QCOMPARE(bar.panelWidth(i), widths.at(i));
        QCOMPARE(bar.panelText(i), texts.at(i));
    }
    QCOMPARE(bar.panelText(-1), QString());
    QCOMPARE(bar.panelWidth(StatusPanels::PanelCount), 0);
}

void TestShell::userImageFollowsPanels()
{
    StatusPanels bar;
    bar.resize(700, 24);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QLabel *userImage = bar.userImage();
    QLabel *last = panel(bar, 5);
    bar.ShowNotice(QStringLiteral("hello"), filledPixmap(Qt::red), QString(), 0);

    const QFontMetrics metrics = panel(bar, 1)->fontMetrics();
    bar.SetStatusPanel(1, textWiderThan(metrics, 120));
    bar.SetStatusPanel(2, textWiderThan(metrics, 60));
    bar.SetStatusPanel(4, QStringLiteral("A"));
    QCOMPARE(userImage->x(), widthsBeforeLastPanel(bar) + 4);
    settleLayouts();
    QCOMPARE(userImage->x(), widthsBeforeLastPanel(bar) + 4);
    QCOMPARE(userImage->parentWidget(), last->parentWidget());
    QCOMPARE(userImage->x(), last->x() + 4);
    QVERIFY(userImage->geometry().bottom() <= last->geometry().bottom());
    QVERIFY(userImage->y() >= last->y());

    const int before = userImage->x();
    bar.SetStatusPanel(2, QString());
    settleLayouts();
    QVERIFY(userImage->x() < before);
    QCOMPARE(userImage->x(), last->x() + 4);

    bar.resize(1000, 48);
    settleLayouts();
    QCOMPARE(bar.width(), 1000);
    QCOMPARE(userImage->x(), widthsBeforeLastPanel(bar) + 4);
    QCOMPARE(userImage->x(), last->x() + 4);
    QVERIFY(userImage->y() >= last->y());
    QVERIFY(userImage->geometry().bottom() <= last->geometry().bottom());
    // Kept in the middle of the panel's height as the bar grows.
    QVERIFY(last->height() > 30);
    QVERIFY(qAbs(userImage->geometry().center().y() - last->geometry().center().y()) <= 1);

    bar.resize(400, 22);
    settleLayouts();
    QCOMPARE(userImage->x(), last->x() + 4);
}

void TestShell::showIdentity()
{
    StatusPanels bar;
    const QFontMetrics metrics = panel(bar, 1)->fontMetrics();
    bar.ShowIdentity(filledPixmap(Qt::blue), QStringLiteral("Alice"), QStringLiteral("192.168.1.20"));
    QCOMPARE(bar.panelText(1), QStringLiteral("Alice"));
    QCOMPARE(bar.panelText(2), QStringLiteral(" IP: 192.168.1.20 "));
    QCOMPARE(bar.panelWidth(1),
             StatusPanels::PanelWidthForText(metrics.horizontalAdvance(QStringLiteral("Alice"))));
    QCOMPARE(bar.panelWidth(2), StatusPanels::PanelWidthForText(
                                    metrics.horizontalAdvance(QStringLiteral(" IP: 192.168.1.20 "))));
    QVERIFY(!bar.myImage()->pixmap().isNull());
    QCOMPARE(bar.myImage()->pixmap().toImage().pixelColor(8, 8), QColor(Qt::blue));
    QCOMPARE(bar.userImage()->x(), widthsBeforeLastPanel(bar) + 4);

    bar.ShowIdentity(QPixmap(), QString(), QString());
    QVERIFY(bar.myImage()->pixmap().isNull());
    QCOMPARE(bar.panelText(1), QString());
    QCOMPARE(bar.panelText(2), QStringLiteral(" IP:  "));
    QCOMPARE(bar.panelWidth(1), 30);

    bar.SetMyImage(filledPixmap(Qt::green));
    QVERIFY(!bar.myImage()->pixmap().isNull());
    bar.ClearMyImage();
    QVERIFY(bar.myImage()->pixmap().isNull());
}

void TestShell::myImageDoubleClick()
{
    StatusPanels bar;
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QSignalSpy spy(&bar, &StatusPanels::myImageDoubleClicked);
    QTest::mouseClick(bar.myImage(), Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    QTest::mouseDClick(bar.myImage(), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
}

void TestShell::noticeShowAndClear()
{
    StatusPanels bar;
    bar.resize(600, 24);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QSignalSpy clicked(&bar, &StatusPanels::noticeClicked);
    const QString message = QStringLiteral("Message from \"[Bob]\"...");

    bar.ShowNotice(message, filledPixmap(Qt::red), QStringLiteral("[Bob]"), 3);
    QCOMPARE(bar.panelText(5), QStringLiteral("       ") + message);
    QCOMPARE(bar.panelWidth(5), StatusPanels::PanelWidthForText(
                                    panel(bar, 5)->fontMetrics().horizontalAdvance(bar.panelText(5))));
    QVERIFY(bar.isNoticeShown());
    QVERIFY(bar.userImage()->isVisible());
    QCOMPARE(bar.userImage()->toolTip(), PeerText::toolTip(QStringLiteral("[Bob]")));
    QCOMPARE(bar.userImage()->pixmap().toImage().pixelColor(8, 8), QColor(Qt::red));
    QCOMPARE(bar.noticeSheet(), 3);
    QTest::mouseClick(bar.userImage(), Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.takeFirst().at(0).toInt(), 3);

    // A newer event replaces text, picture and sheet; a missing picture leaves the image empty.
    bar.ShowNotice(QStringLiteral("second"), QPixmap(), QStringLiteral("[Carol]"), 1);
    QCOMPARE(bar.panelText(5), QStringLiteral("       second"));
    QVERIFY(bar.userImage()->pixmap().isNull());
    QCOMPARE(bar.userImage()->toolTip(), PeerText::toolTip(QStringLiteral("[Carol]")));
    QTest::mouseClick(bar.userImage(), Qt::RightButton);
    QCOMPARE(clicked.count(), 0);
    QTest::mouseClick(bar.userImage(), Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.takeFirst().at(0).toInt(), 1);

    bar.ClearNotice();
    QVERIFY(!bar.isNoticeShown());
    QVERIFY(!bar.userImage()->isVisible());
    QCOMPARE(bar.panelText(5), QString());
    QCOMPARE(bar.panelWidth(5), 30);
    QCOMPARE(bar.noticeSheet(), -1);
    QTest::mouseClick(bar.userImage(), Qt::LeftButton);
    QCOMPARE(clicked.count(), 0);
}

void TestShell::trayWithoutSystemTray()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("this desktop has a system tray");
    TrayIcon tray;
    QSignalSpy activated(&tray, &TrayIcon::activated);
    QCOMPARE(tray.objectName(), QStringLiteral("CoolTrayIcon"));
    tray.setUp();
    QVERIFY(!tray.isAvailable());
    QVERIFY(!tray.findChild<QSystemTrayIcon *>());

    auto menu = std::make_unique<QMenu>();
    tray.setMenu(menu.get());
    QCOMPARE(tray.menu(), menu.get());
    tray.setEnabled(true);
    QVERIFY(tray.isEnabled());
    QVERIFY(!tray.minimizesToTray());
    tray.minimizedToTray();
    QVERIFY(!tray.isVisible());
    tray.startAnimation();
    QVERIFY(!tray.isAnimating());
    QTest::qWait(2 * TrayIcon::AnimationStepMs + 100);
    QCOMPARE(tray.currentFrame(), 0);
    tray.showBalloon(QStringLiteral("[Bob]"), QStringLiteral("Message from \"[Bob]\"..."));
    tray.stopAnimation();
    tray.hideIcon();
    QVERIFY(!tray.isVisible());
    QCOMPARE(activated.count(), 0);

    // A menu destroyed before the icon leaves nothing dangling.
    menu.reset();
    QVERIFY(!tray.menu());
    tray.setEnabled(false);
    QVERIFY(!tray.isEnabled());
}

void TestShell::trayFrames()
{
    for (int i = 0; i < TrayIcon::FrameCount; ++i) {
        const QIcon frame = TrayIcon::Frame(i);
        QVERIFY2(!frame.isNull(), qPrintable(QStringLiteral("frame %1").arg(i)));
        QVERIFY(!frame.pixmap(16, 16).isNull());
    }
    QVERIFY(TrayIcon::Frame(-1).isNull());
    QVERIFY(TrayIcon::Frame(TrayIcon::FrameCount).isNull());

    int frame = 0;
    QList<int> visited;
    for (int step = 0; step < TrayIcon::FrameCount + 1; ++step) {
        frame = TrayIcon::NextFrame(frame, TrayIcon::FrameCount);
        visited.append(frame);
    }
    QCOMPARE(visited, (QList<int>{1, 2, 3, 0, 1}));
    QCOMPARE(TrayIcon::NextFrame(5, 0), 0);
}

void TestShell::aboutTexts()
{
    TfmAbout about;
    QCOMPARE(about.objectName(), QStringLiteral("fmAbout"));
    QCOMPARE(about.windowTitle(), QStringLiteral("About Perix Chat"));
    QCOMPARE(about.productName()->text(), QStringLiteral("Perix Chat"));
    QVERIFY(about.version()->text().contains(QStringLiteral(PERIX_VERSION)));
    QVERIFY(!QStringLiteral(PERIX_VERSION).isEmpty());
    QVERIFY(!about.icon()->pixmap().isNull());
    QCOMPARE(about.okButton()->text(), QStringLiteral("&OK"));
    QVERIFY(about.findChild<QLabel *>(QStringLiteral("lbDescription")));
    QVERIFY(!about.findChild<QLabel *>(QStringLiteral("lbDescription"))->text().isEmpty());

    TfmAbout translated(nullptr, QStringLiteral("Über Perix Chat"));
    QCOMPARE(translated.windowTitle(), QStringLiteral("Über Perix Chat"));
}

void TestShell::aboutClosesWithKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("result");
    QTest::newRow("Esc") << int(Qt::Key_Escape) << int(QDialog::Rejected);
    QTest::newRow("Return") << int(Qt::Key_Return) << int(QDialog::Accepted);
    QTest::newRow("Enter") << int(Qt::Key_Enter) << int(QDialog::Accepted);
}

void TestShell::aboutClosesWithKeys()
{
    QFETCH(int, key);
    QFETCH(int, result);
    TfmAbout about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    about.setResult(-1);
    QVERIFY(about.isVisible());
    QTest::keyClick(&about, Qt::Key(key));
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), result);
}

void TestShell::aboutOkButton()
{
    TfmAbout about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    about.setResult(-1);
    QTest::mouseClick(about.okButton(), Qt::LeftButton);
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Accepted));
}

void TestShell::errorReportTexts()
{
    const QString description = QStringLiteral("Access violation at address 0040A1B2");
    TfmErrorReport report(description);
    QCOMPARE(report.objectName(), QStringLiteral("fmError"));
    QCOMPARE(report.windowTitle(), QStringLiteral("Error"));
    QCOMPARE(report.descriptionField()->toPlainText(), description);
    QVERIFY(report.descriptionField()->isReadOnly());
    QCOMPARE(report.descriptionLabel()->text(), QStringLiteral("Description:"));
    QVERIFY(report.apologyLabel()->text().startsWith(QStringLiteral("Excuse for the inconveniences")));
    QVERIFY(report.apologyLabel()->text().endsWith(QStringLiteral("Thank for your cooperation!")));
    QCOMPARE(report.okButton()->text(), QStringLiteral("&OK"));
    QCOMPARE(report.mailButton()->text(), QStringLiteral("&Mail>"));

    ErrorReportTexts texts;
    texts.apology = QStringLiteral("Entschuldigung");
    texts.description = QStringLiteral("Beschreibung:");
    texts.ok = QStringLiteral("&Gut");
    texts.mail = QStringLiteral("&Post>");
    TfmErrorReport translated(description, nullptr, texts);
    QCOMPARE(translated.apologyLabel()->text(), texts.apology);
    QCOMPARE(translated.descriptionLabel()->text(), texts.description);
    QCOMPARE(translated.okButton()->text(), texts.ok);
    QCOMPARE(translated.mailButton()->text(), texts.mail);
    QCOMPARE(translated.descriptionField()->toPlainText(), description);
}

void TestShell::errorReportMail()
{
    ShellOpen::setRecording(true);
    ShellOpen::clearOpened();
    const QString description = QStringLiteral("a & b = c?\nsecond line: 100% #1 + ü");
    TfmErrorReport report(description);
    report.show();
    QVERIFY(QTest::qWaitForWindowExposed(&report));
    QTest::mouseClick(report.mailButton(), Qt::LeftButton);

    const QStringList opened = ShellOpen::opened();
    QCOMPARE(opened.size(), 1);
    const QString target = opened.first();
    QVERIFY(target.startsWith(QStringLiteral("MailTo:") + QString::fromLatin1(ProductLinks::SupportMail) +
                              QStringLiteral("?")));
    QCOMPARE(target, TfmErrorReport::MailTarget(description));
    QVERIFY(!target.contains(u'\n'));
    QVERIFY(!target.contains(u' '));

    const QUrl url(target, QUrl::StrictMode);
    QVERIFY2(url.isValid(), qPrintable(url.errorString()));
    QCOMPARE(url.scheme(), QStringLiteral("mailto"));
    QCOMPARE(url.path(), QString::fromLatin1(ProductLinks::SupportMail));
    const QUrlQuery query(url);
    QCOMPARE(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded), description);
    QVERIFY(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded)
                .contains(QStringLiteral("Perix Chat")));
    // The report stays open after the mail is handed over.
    QVERIFY(report.isVisible());
}

void TestShell::errorReportOk()
{
    ShellOpen::setRecording(true);
    ShellOpen::clearOpened();
    TfmErrorReport report(QStringLiteral("boom"));
    report.show();
    QVERIFY(QTest::qWaitForWindowExposed(&report));
    report.setResult(-1);
    QTest::mouseClick(report.okButton(), Qt::LeftButton);
    QVERIFY(!report.isVisible());
    QCOMPARE(report.result(), int(QDialog::Accepted));
    QVERIFY(ShellOpen::opened().isEmpty());
}

void TestShell::exceptionReachesHandlerAndProgramGoesOn()
{
    QVERIFY(qobject_cast<PerixApplication *>(QCoreApplication::instance()));
    QStringList reported;
    PerixApplication::setErrorHandler([&reported](const QString &text) { reported.append(text); });

    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(ThrowStdEvent));
    QCoreApplication::postEvent(&thrower, new QEvent(PingEvent));
    QCoreApplication::sendPostedEvents(&thrower);
    QCOMPARE(reported, QStringList{QStringLiteral("boom")});
    QCOMPARE(thrower.pings, 1);

    // Through the ordinary event loop as well, and the next event still arrives.
    thrower.message = QStringLiteral("second");
    QCoreApplication::postEvent(&thrower, new QEvent(ThrowStdEvent));
    QCoreApplication::postEvent(&thrower, new QEvent(PingEvent));
    QTRY_COMPARE(thrower.pings, 2);
    QCOMPARE(reported, (QStringList{QStringLiteral("boom"), QStringLiteral("second")}));

    QEvent direct(ThrowStdEvent);
    QVERIFY(!QCoreApplication::sendEvent(&thrower, &direct));
    QCOMPARE(reported.size(), 3);
    QVERIFY(PerixApplication::suppressedErrors().isEmpty());
}

void TestShell::unknownExceptionIsReported()
{
    QStringList reported;
    PerixApplication::setErrorHandler([&reported](const QString &text) { reported.append(text); });
    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(ThrowOtherEvent));
    QCoreApplication::postEvent(&thrower, new QEvent(PingEvent));
    QCoreApplication::sendPostedEvents(&thrower);
    QCOMPARE(reported, QStringList{QStringLiteral("Unknown error")});
    QCOMPARE(thrower.pings, 1);
}

void TestShell::exceptionDuringReportIsOnlyRecorded()
{
    Thrower thrower;
    QStringList reported;
    PerixApplication::setErrorHandler([&reported, &thrower](const QString &text) {
        reported.append(text);
        // A second failure while the first report is open.
        thrower.message = QStringLiteral("inner");
        QEvent again(ThrowStdEvent);
        QCoreApplication::sendEvent(&thrower, &again);
    });
    QCoreApplication::postEvent(&thrower, new QEvent(ThrowStdEvent));
    QCoreApplication::postEvent(&thrower, new QEvent(PingEvent));
    QCoreApplication::sendPostedEvents(&thrower);
    QCOMPARE(reported, QStringList{QStringLiteral("boom")});
    QCOMPARE(PerixApplication::suppressedErrors(), QStringList{QStringLiteral("inner")});
    QCOMPARE(thrower.pings, 1);

    // Once the report is closed, the next failure gets a report again.
    PerixApplication::clearSuppressedErrors();
    PerixApplication::setErrorHandler([&reported](const QString &text) { reported.append(text); });
    thrower.message = QStringLiteral("later");
    QCoreApplication::postEvent(&thrower, new QEvent(ThrowStdEvent));
    QCoreApplication::sendPostedEvents(&thrower);
    QCOMPARE(reported, (QStringList{QStringLiteral("boom"), QStringLiteral("later")}));
    QVERIFY(PerixApplication::suppressedErrors().isEmpty());
}

void TestShell::defaultHandlerShowsErrorReport()
{
    PerixApplication::setErrorHandler({});
    QString shownTitle;
    QString shownDescription;
    int ticks = 0;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, &poll, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *report = qobject_cast<TfmErrorReport *>(modal)) {
            shownTitle = report->windowTitle();
            shownDescription = report->descriptionField()->toPlainText();
            report->okButton()->click();
            poll.stop();
        } else if (++ticks > 500) {
            if (modal)
                modal->close();
            poll.stop();
        }
    });
    poll.start();

    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(ThrowStdEvent));
    QCoreApplication::postEvent(&thrower, new QEvent(PingEvent));
    QTRY_COMPARE_WITH_TIMEOUT(thrower.pings, 1, 10000);
    QCOMPARE(shownTitle, QStringLiteral("Error"));
    QCOMPARE(shownDescription, QStringLiteral("boom"));
    QVERIFY(!QApplication::activeModalWidget());
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    PerixApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestShell test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_shell.moc"
