#include "message_box.h"

namespace MessageBox {
namespace {

Recorder *recording = nullptr;

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
    if (recording) {
        recording->m_shown.append(Shown { box.windowTitle(), box.text(), box.textFormat(),
            box.icon(), box.standardButtons(), box.windowModality() != Qt::NonModal });
        return;
    }
    box.exec();
}

Recorder::Recorder()
    : m_outer(recording)
{
    recording = this;
}

Recorder::~Recorder()
{
    recording = m_outer;
}

QStringList Recorder::texts() const
{
    QStringList texts;
    for (const Shown &shown : m_shown)
        texts.append(shown.text);
    return texts;
}

} // namespace MessageBox
