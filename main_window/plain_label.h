#pragma once

#include <QLabel>

// A label as the window's labels behave: its caption is plain text, never markup or a mnemonic;
// lines end in CR LF in the caption and start a new line on screen; long lines break between
// words; the label keeps its size and cuts off what does not fit.
class PlainLabel : public QLabel
{
    Q_OBJECT

public:
    explicit PlainLabel(QWidget *parent = nullptr);

    // The caption exactly as it was set, CR LF included.
    [[nodiscard]] const QString &caption() const { return m_caption; }
    void setCaption(const QString &caption);

private:
    QString m_caption;
};
