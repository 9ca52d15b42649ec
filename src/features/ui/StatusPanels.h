#pragma once

#include <QList>
#include <QPixmap>
#include <QStatusBar>
#include <QString>

class QLabel;

// The main window's status bar: six fixed panels side by side, the own picture in panel 0 and the
// event-notice picture at the start of the last panel.
class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int PanelCount = 6;
    static constexpr int NoticePanel = 5;
    static constexpr int PictureSize = 16;

    explicit StatusPanels(QWidget *parent = nullptr);

    // Sets the text and fits the panel to it; an index outside the panels does nothing.
    void SetStatusPanel(int index, const QString &text);
    // The width of a panel showing a text of that many pixels.
    static int PanelWidthForText(int textWidthPx);

    // Empty text and 0 for an index outside the panels.
    QString panelText(int index) const;
    int panelWidth(int index) const;

    // A null picture clears the image.
    void SetMyImage(const QPixmap &picture);
    void ClearMyImage();
    void ShowIdentity(const QPixmap &picture16, const QString &alias, const QString &ip);

    void ShowNotice(const QString &message, const QPixmap &picture, const QString &tooltip, int sheet);
    void ClearNotice();
    bool isNoticeShown() const;
    // -1 while no notice is shown.
    int noticeSheet() const { return m_noticeSheet; }

    QLabel *myImage() const { return m_myImage; }
    QLabel *userImage() const { return m_userImage; }
    // The notice picture's left edge in the coordinates of the panel strip, as the panels' widths put it.
    int userImageLeft() const;

Q_SIGNALS:
    void myImageDoubleClicked();
    void noticeClicked(int sheet);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeUserImage();

    QWidget *m_strip;
    QList<QLabel *> m_panels;
    QLabel *m_myImage;
    QLabel *m_userImage;
    int m_noticeSheet = -1;
};
