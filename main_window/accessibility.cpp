#include "accessibility.h"

#include "main.h"
#include "plain_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QTextLayout>

namespace {

// Qt offers a plain widget as a filler, which screen readers skip over; as a window it is a frame
// that they announce by its title.
class WindowAccessible : public QAccessibleWidget
{
public:
    explicit WindowAccessible(Main *main)
        : QAccessibleWidget(main, QAccessible::Window)
    {
    }

    [[nodiscard]] QAccessible::Role role() const override
    {
        return widget()->isWindow() ? QAccessible::Window : QAccessible::Client;
    }
};

// A label's text laid out as the label draws it. Offsets are those of the label's text.
class LabelLayout
{
public:
    explicit LabelLayout(const PlainLabel *label)
        : m_origin(label->contentsRect().topLeft())
    {
        label->layOutText(m_layout);
    }

    [[nodiscard]] int lineCount() const { return m_layout.lineCount(); }

    // The line at the offset (the end of the text counts to the last line), or -1.
    [[nodiscard]] int lineAt(int offset) const
    {
        if (offset < 0 || offset > m_layout.text().size())
            return -1;
        const QTextLine line = m_layout.lineForTextPosition(offset);
        return line.isValid() ? line.lineNumber() : lineCount() - 1;
    }

    // A line runs to where the next one starts, so it keeps the line break that ends it.
    [[nodiscard]] QString line(int index, int *start, int *end) const
    {
        if (index < 0 || index >= lineCount()) {
            *start = *end = -1;
            return {};
        }
        *start = m_layout.lineAt(index).textStart();
        *end = index + 1 < lineCount() ? m_layout.lineAt(index + 1).textStart()
                                       : int(m_layout.text().size());
        return QString(m_layout.text().mid(*start, *end - *start))
            .replace(QChar::LineSeparator, u'\n');
    }

    // In the label's coordinates.
    [[nodiscard]] QRect characterRect(int offset) const
    {
        const int index = lineAt(offset);
        if (index < 0 || offset >= m_layout.text().size())
            return {};
        const QTextLine line = m_layout.lineAt(index);
        const qreal left = line.cursorToX(offset, QTextLine::Leading);
        const qreal right = line.cursorToX(offset, QTextLine::Trailing);
        return QRectF(std::min(left, right), line.y(), std::abs(right - left), line.height())
            .translated(m_origin)
            .toAlignedRect();
    }

    [[nodiscard]] int offsetAt(const QPoint &point) const
    {
        const QPointF inText = QPointF(point - m_origin);
        for (int index = 0; index < lineCount(); ++index) {
            const QTextLine line = m_layout.lineAt(index);
            if (inText.y() >= line.y() && inText.y() < line.y() + line.height())
                return line.xToCursor(inText.x(), QTextLine::CursorOnCharacter);
        }
        return -1;
    }

private:
    QPoint m_origin;
    QTextLayout m_layout;
};

// A label as screen readers meet it: static text named by its caption, labelling its buddy, and
// read through the Text interface, so that a long text such as the report can be read line by
// line. The label cannot be selected and has no cursor.
class PlainLabelAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit PlainLabelAccessible(PlainLabel *label)
        : QAccessibleWidget(label, QAccessible::StaticText)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    [[nodiscard]] QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name && label()->accessibleName().isEmpty())
            return label()->text();
        return QAccessibleWidget::text(type);
    }

    [[nodiscard]] QList<QPair<QAccessibleInterface *, QAccessible::Relation>> relations(
        QAccessible::Relation match) const override
    {
        auto found = QAccessibleWidget::relations(match);
        if ((match & QAccessible::Labelled) && label()->buddy())
            found.append(
                { QAccessible::queryAccessibleInterface(label()->buddy()), QAccessible::Labelled });
        return found;
    }

    void selection(int, int *start, int *end) const override { *start = *end = 0; }
    [[nodiscard]] int selectionCount() const override { return 0; }
    void addSelection(int, int) override { }
    void removeSelection(int) override { }
    void setSelection(int, int, int) override { }
    [[nodiscard]] int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override { }
    void scrollToSubstring(int, int) override { }

    [[nodiscard]] QString text(int start, int end) const override
    {
        return label()->text().mid(start, end - start);
    }
    [[nodiscard]] int characterCount() const override { return int(label()->text().size()); }

    [[nodiscard]] QString textBeforeOffset(
        int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const override
    {
        if (boundary != QAccessible::LineBoundary)
            return QAccessibleTextInterface::textBeforeOffset(offset, boundary, start, end);
        const LabelLayout layout(label());
        const int index = layout.lineAt(offset);
        return layout.line(index < 0 ? -1 : index - 1, start, end);
    }
    [[nodiscard]] QString textAfterOffset(
        int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const override
    {
        if (boundary != QAccessible::LineBoundary)
            return QAccessibleTextInterface::textAfterOffset(offset, boundary, start, end);
        const LabelLayout layout(label());
        const int index = layout.lineAt(offset);
        return layout.line(index < 0 ? -1 : index + 1, start, end);
    }
    [[nodiscard]] QString textAtOffset(
        int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const override
    {
        if (boundary != QAccessible::LineBoundary)
            return QAccessibleTextInterface::textAtOffset(offset, boundary, start, end);
        const LabelLayout layout(label());
        return layout.line(layout.lineAt(offset), start, end);
    }

    // On the screen, as the Text interface gives places.
    [[nodiscard]] QRect characterRect(int offset) const override
    {
        const QRect rect = LabelLayout(label()).characterRect(offset);
        return rect.isNull() ? rect : rect.translated(label()->mapToGlobal(QPoint(0, 0)));
    }
    [[nodiscard]] int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint inLabel = label()->mapFromGlobal(point);
        return label()->rect().contains(inLabel) ? LabelLayout(label()).offsetAt(inLabel) : -1;
    }

    [[nodiscard]] QString attributes(int, int *start, int *end) const override
    {
        *start = 0;
        *end = characterCount();
        return {};
    }

private:
    [[nodiscard]] PlainLabel *label() const { return static_cast<PlainLabel *>(widget()); }
};

QAccessibleInterface *windowInterface(const QString &, QObject *object)
{
    if (auto *main = qobject_cast<Main *>(object))
        return new WindowAccessible(main);
    if (auto *label = qobject_cast<PlainLabel *>(object))
        return new PlainLabelAccessible(label);
    return nullptr;
}

} // namespace

void installAccessibleInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(windowInterface);
        return true;
    }();
    Q_UNUSED(installed);
}
