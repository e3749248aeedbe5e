#include "message_box.h"

namespace MessageBox {
namespace {

std::function<void(const Shown &)> &interceptor()
{
    static std::function<void(const Shown &)> current;
    return current;
}

} // namespace

void show(QWidget *parent, const QString &text)
{
    QMessageBox box(
        QMessageBox::NoIcon, QString::fromLatin1(applicationTitle), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    // Qt gives a window's colours to its child widgets but not to the windows it opens; the box
    // over the window reads as the window does, whatever the desktop's theme.
    if (parent)
        box.setPalette(parent->palette());
    box.setWindowModality(Qt::ApplicationModal);
    if (const auto intercept = interceptor()) {
        intercept(Shown { box.windowTitle(), box.text(), box.textFormat(), box.icon(),
            box.standardButtons(), box.windowModality() != Qt::NonModal });
        return;
    }
    box.exec();
}

void setInterceptor(std::function<void(const Shown &)> newInterceptor)
{
    interceptor() = std::move(newInterceptor);
}

void clearInterceptor()
{
    interceptor() = nullptr;
}

bool hasInterceptor()
{
    return bool(interceptor());
}

Recorder::Recorder()
    : m_previous(interceptor())
{
    setInterceptor([this](const Shown &shown) { m_shown.append(shown); });
}

Recorder::~Recorder()
{
    interceptor() = std::move(m_previous);
}

QStringList Recorder::texts() const
{
    QStringList texts;
    for (const Shown &shown : m_shown)
        texts.append(shown.text);
    return texts;
}

} // namespace MessageBox
