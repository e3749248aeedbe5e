#pragma once

// The utility's message boxes as a test meets them: each read back from the real box while it is
// open, then answered with OK so that the test goes on without a user.

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>

// What a message box showed.
struct ShownMessageBox
{
    QString title;
    QString text;
    Qt::TextFormat textFormat = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool modal = false; // application modal, and the active modal window while it waited
};

// While it lives, every QMessageBox that opens is recorded and answered with OK (or closed, if
// it has no OK) from its own event loop.
class MessageBoxRecorder : public QObject
{
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder() override;

    [[nodiscard]] const QList<ShownMessageBox> &shown() const { return m_shown; }
    // The texts alone, in the order shown.
    [[nodiscard]] QStringList texts() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<ShownMessageBox> m_shown;
};
