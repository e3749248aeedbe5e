#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

// The utility's message boxes: modal, titled "Prismor", plain text, an OK button only, no icon.
namespace MessageBox {

inline constexpr auto applicationTitle = "Prismor";

// What a message box showed, read back from the real box.
struct Shown
{
    QString title;
    QString text;
    Qt::TextFormat textFormat = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool modal = false;
};

// Builds the message box and shows it until the user closes it.
void show(QWidget *parent, const QString &text);

// The test seam: while a Recorder lives, show() builds the same box, records what it would show
// and returns at once instead of waiting for the user. A Recorder made inside another's lifetime
// records until it ends, then the outer one records again.
class Recorder
{
public:
    Recorder();
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    [[nodiscard]] const QList<Shown> &shown() const { return m_shown; }
    // The texts alone, in the order shown.
    [[nodiscard]] QStringList texts() const;

private:
    friend void show(QWidget *, const QString &);

    QList<Shown> m_shown;
    Recorder *m_outer;
};

} // namespace MessageBox
