#include "accessible_interface.h"

#include "accessible_reading.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace accessible {
namespace {

class ReadingInterface : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    ReadingInterface(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QString text(QAccessible::Text which) const override {
        switch (which) {
        case QAccessible::Name:
            return ReadingOf(widget());
        case QAccessible::Value:
            return StateOf(widget());
        case QAccessible::Description: {
            const QString colour = ColourOf(widget());
            return colour.isEmpty() ? QAccessibleWidget::text(which) : colour;
        }
        default:
            return QAccessibleWidget::text(which);
        }
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    // Read-only text without a caret or selection: the reading.
    void selection(int, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        return ReadingOf(widget()).mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(ReadingOf(widget()).size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = offset;
        *endOffset = offset;
        return {};
    }
};

QAccessibleInterface* ReadingFactory(const QString&, QObject* object) {
    if (object == nullptr || !object->isWidgetType()) {
        return nullptr;
    }
    const ReadingKind kind = KindOf(object);
    if (kind == ReadingKind::None) {
        return nullptr;
    }
    return new ReadingInterface(static_cast<QWidget*>(object), kind == ReadingKind::Messages
                                                                   ? QAccessible::StatusBar
                                                                   : QAccessible::StaticText);
}

} // namespace

void UseReadingInterface(QWidget* widget) {
    static const bool installed = [] {
        QAccessible::installFactory(&ReadingFactory);
        return true;
    }();
    Q_UNUSED(installed);
    // A label announces its first text while it is built, which makes Qt
    // create and keep its own interface for it before it is marked here.
    QAccessibleInterface* cached = QAccessible::queryAccessibleInterface(widget);
    if (cached != nullptr && dynamic_cast<ReadingInterface*>(cached) == nullptr) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(cached));
    }
}

} // namespace accessible
