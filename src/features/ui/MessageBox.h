#pragma once

#include <QMessageBox>
#include <QStringList>

// Every message box of the program goes through here, so that tests can answer them
// instead of a user and see which texts were shown.
class MessageBox {
public:
    static void error(QWidget *parent, const QString &text);
    static void information(QWidget *parent, const QString &text);
    // A question with buttons of its own; the index of the button pressed, the last one (the
    // escape button) when the box is closed.
    static int choose(QWidget *parent, const QString &text, const QStringList &buttons);
    // An error box with buttons of its own; the first is the default and the escape button. The index
    // of the button pressed. Answered like choose() while its hook is set, else with 0 while the
    // auto-answer is set.
    static int errorChoose(QWidget *parent, const QString &text, const QStringList &buttons);
    // Test hook for choose(): while set (0 or more), boxes are recorded and answered with this index.
    static void setNextChoice(int index);

    // Test hook: while set, no box is shown; each box is only recorded and answered with the given button.
    static void setAutoAnswer(QMessageBox::StandardButton answer);
    static void clearAutoAnswer();
    static QStringList shownTexts();
    static void clearShownTexts();

private:
    static QMessageBox::StandardButton show(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                            QMessageBox::StandardButtons buttons);
};
