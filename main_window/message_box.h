#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>

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

// Test seam: while an interceptor is set, show() builds the same box, hands what it would show
// to the interceptor and returns at once instead of waiting for the user. Prefer Recorder, which
// cannot outlive the test that made it.
void setInterceptor(std::function<void(const Shown &)> interceptor);
void clearInterceptor();
[[nodiscard]] bool hasInterceptor();

// Records every message box shown during its lifetime instead of showing it, then puts back
// whatever interceptor was set before it.
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
    QList<Shown> m_shown;
    std::function<void(const Shown &)> m_previous;
};

} // namespace MessageBox
