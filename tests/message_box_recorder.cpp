#include "message_box_recorder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QPointer>

MessageBoxRecorder::MessageBoxRecorder()
{
    QCoreApplication::instance()->installEventFilter(this);
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

QStringList MessageBoxRecorder::texts() const
{
    QStringList texts;
    for (const ShownMessageBox &shown : m_shown)
        texts.append(shown.text);
    return texts;
}

bool MessageBoxRecorder::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = event->type() == QEvent::Show ? qobject_cast<QMessageBox *>(watched) : nullptr;
    if (!box)
        return false;
    m_shown.append({ box->windowTitle(), box->text(), box->textFormat(), box->icon(),
        box->standardButtons() });
    // The box becomes modal and starts its own loop only after this event: the answer waits in
    // that loop, and is dropped with the box should it close first.
    const qsizetype index = m_shown.size() - 1;
    QMetaObject::invokeMethod(
        box,
        [recorder = QPointer(this), box, index] {
            if (recorder)
                recorder->m_shown[index].modal = QApplication::activeModalWidget() == box
                    && box->windowModality() == Qt::ApplicationModal;
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->done(0);
        },
        Qt::QueuedConnection);
    return false;
}
