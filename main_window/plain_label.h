#pragma once

#include <QLabel>

class QTextLayout;

// A label as the window's labels behave: its caption is plain text, never markup or a mnemonic;
// lines end in CR LF in the caption and start a new line on screen; long lines break between
// words; the label keeps its size, aligns its text to the top left and cuts off what does not
// fit. It takes no focus and cannot be selected.
class PlainLabel : public QLabel
{
    Q_OBJECT

public:
    explicit PlainLabel(QWidget *parent = nullptr);

    // The caption exactly as it was set, CR LF included.
    [[nodiscard]] const QString &caption() const { return m_caption; }
    void setCaption(const QString &caption);

    // The caption is the one source of the label's text; QLabel's own setter would bypass it.
    void setText(const QString &) = delete;

    // Lays out the label's text in layout exactly as the label draws it, from the top left of
    // its contents, so that what a screen reader is told matches what is on screen.
    void layOutText(QTextLayout &layout) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_caption;
};

// The caption as the label shows it: every CR LF (and any lone CR or LF) a line break, nothing
// else changed.
[[nodiscard]] QString displayedCaption(const QString &caption);
