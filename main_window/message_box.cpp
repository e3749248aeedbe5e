#include "message_box.h"

#include <QMessageBox>

namespace MessageBox {

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
    box.exec();
}

} // namespace MessageBox
