#include "ui/accessibility.h"
#include "ui/linklabel.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QComboBox>
#include <QHash>
#include <QMenu>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>

namespace {

// "&&" stands for one "&"; a single "&" only marks the mnemonic.
QString withoutMnemonic(QString text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&'))
            text.remove(i, 1);
    }
    return text;
}

// A tab's own accessible name, else its text, else the name of its page: a tab that shows an
// image alone has no text to say.
QString tabName(const QTabBar *bar, int index)
{
    QString name = bar->accessibleTabName(index);
    if (name.isEmpty())
        name = withoutMnemonic(bar->tabText(index));
    const auto *tabs = qobject_cast<const QTabWidget *>(bar->parentWidget());
    if (name.isEmpty() && tabs && tabs->widget(index))
        name = tabs->widget(index)->accessibleName();
    return name;
}

// One tab of a tab bar; selected while it is the current one.
class Tab : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    Tab(QTabBar *bar, int index) : m_bar(bar), m_index(index) {}

    int index() const { return m_index; }

    bool isValid() const override { return m_bar && m_index < m_bar->count(); }
    QObject *object() const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_bar.data());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    void setText(QAccessible::Text, const QString &) override {}

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s = parent()->state();
        const bool current = m_bar->currentIndex() == m_index;
        s.selectable = true;
        s.selected = current;
        s.focused = current && m_bar->hasFocus();
        s.disabled = s.disabled || !m_bar->isTabEnabled(m_index);
        s.invisible = s.invisible || !m_bar->isTabVisible(m_index);
        return s;
    }

    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect tab = m_bar->tabRect(m_index);
        return QRect(m_bar->mapToGlobal(tab.topLeft()), tab.size());
    }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return QString();
        switch (t) {
        case QAccessible::Name:
            return tabName(m_bar, m_index);
        case QAccessible::Description:
            return m_bar->tabToolTip(m_index);
        case QAccessible::Help:
            return m_bar->tabWhatsThis(m_index);
        default:
            return QString();
        }
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (isValid() && name == pressAction())
            m_bar->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<QTabBar> m_bar;
    int m_index;
};

// The tabs and nothing else: the scroll buttons the bar keeps hidden are not offered.
class TabList : public QAccessibleWidget
{
public:
    explicit TabList(QTabBar *bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~TabList() override
    {
        for (QAccessible::Id id : std::as_const(m_tabs))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return bar()->count(); }

    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= bar()->count())
            return nullptr;
        if (const QAccessible::Id id = m_tabs.value(index))
            return QAccessible::accessibleInterface(id);
        auto *tab = new Tab(bar(), index);
        m_tabs.insert(index, QAccessible::registerAccessibleInterface(tab));
        return tab;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (child && child->role() == QAccessible::PageTab && child->parent() == this)
            return static_cast<const Tab *>(child)->index();
        return -1;
    }

    QAccessibleInterface *focusChild() const override
    {
        return bar()->hasFocus() ? child(bar()->currentIndex()) : nullptr;
    }

    QString text(QAccessible::Text t) const override
    {
        const QString own = QAccessibleWidget::text(t);
        return own.isEmpty() && t == QAccessible::Name ? tabName(bar(), bar()->currentIndex()) : own;
    }

private:
    QTabBar *bar() const { return static_cast<QTabBar *>(object()); }
    mutable QHash<int, QAccessible::Id> m_tabs;
};

// A list one can only pick from: named by its label, its pick is its value (and its text, which
// is where a screen reader on this desktop reads a value that is not a number).
class DropDownList : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit DropDownList(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == box()->view() ? 0 : -1;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view()->isVisible();
        return s;
    }

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Value ? box()->currentText() : QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (name != showMenuAction())
            QAccessibleWidget::doAction(name);
        else if (box()->view()->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // The value as read-only text with nothing selected.
    QString text(int start, int end) const override { return box()->currentText().mid(start, end - start); }
    int characterCount() const override { return int(box()->currentText().size()); }
    void selection(int, int *start, int *end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *start, int *end) const override
    {
        *start = *end = offset;
        return QString();
    }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(object()); }
};

class Link : public QAccessibleWidget
{
public:
    explicit Link(LinkLabel *label) : QAccessibleWidget(label, QAccessible::Link) {}

    // Its text, never the title of the box around it.
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        return label()->accessibleName().isEmpty() ? label()->text() : label()->accessibleName();
    }
    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (name == pressAction())
            emit label()->activated();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    LinkLabel *label() const { return static_cast<LinkLabel *>(object()); }
};

// A menu item, as Qt's own, but one that can be ticked says so, and whether it is. A menu's items
// are asked for through the menu, so the menu is replaced too.
class MenuItem : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    MenuItem(QMenu *menu, QAction *action) : m_menu(menu), m_action(action) {}

    bool isValid() const override { return m_menu && m_action; }
    QObject *object() const override { return m_action; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_menu.data());
    }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 && isValid() ? QAccessible::queryAccessibleInterface(m_action->menu()) : nullptr;
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    int childCount() const override { return isValid() && m_action->menu() ? 1 : 0; }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && isValid() && child->object() == m_action->menu() ? 0 : -1;
    }
    // The desktop's bridge in this Qt knows no checkable menu item and drops the state that would
    // say one can be ticked: a check box is what tells a listener so, ticked or not.
    QAccessible::Role role() const override
    {
        if (!isValid())
            return QAccessible::MenuItem;
        if (m_action->isSeparator())
            return QAccessible::Separator;
        return m_action->isCheckable() ? QAccessible::CheckBox : QAccessible::MenuItem;
    }
    void setText(QAccessible::Text, const QString &) override {}

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.invisible = !m_menu->isVisible() || !m_action->isVisible();
        s.focused = m_menu->activeAction() == m_action;
        s.disabled = m_action->isSeparator() || !m_action->isEnabled();
        s.checkable = m_action->isCheckable();
        s.checked = m_action->isChecked();
        return s;
    }

    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect item = m_menu->actionGeometry(m_action);
        return QRect(m_menu->mapToGlobal(item.topLeft()), item.size());
    }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return QString();
        if (t == QAccessible::Name)
            return withoutMnemonic(m_action->text());
        if (t == QAccessible::Accelerator)
            return m_action->shortcut().toString(QKeySequence::NativeText);
        return QString();
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }
    QStringList actionNames() const override
    {
        if (!isValid() || m_action->isSeparator())
            return {};
        return {m_action->menu() ? showMenuAction() : pressAction()};
    }
    void doAction(const QString &name) override
    {
        if (!isValid() || !m_action->isEnabled())
            return;
        if (name == pressAction())
            m_action->trigger();
        else if (name == showMenuAction())
            m_menu->setActiveAction(m_action);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<QMenu> m_menu;
    QPointer<QAction> m_action;
};

class Menu : public QAccessibleWidget
{
public:
    explicit Menu(QMenu *menu) : QAccessibleWidget(menu, QAccessible::PopupMenu) {}

    int childCount() const override { return int(menu()->actions().size()); }
    QAccessibleInterface *child(int index) const override
    {
        return QAccessible::queryAccessibleInterface(menu()->actions().value(index));
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(menu()->actions().indexOf(qobject_cast<QAction *>(child->object()))) : -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        QAction *action = menu()->actionAt(menu()->mapFromGlobal(QPoint(x, y)));
        return action && !action->isSeparator() ? QAccessible::queryAccessibleInterface(action) : nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        const QString own = QAccessibleWidget::text(t);
        return own.isEmpty() && t == QAccessible::Name ? menu()->windowTitle() : own;
    }

private:
    QMenu *menu() const { return static_cast<QMenu *>(object()); }
};

// An action is an item of the first menu that holds it.
QAccessibleInterface *menuItem(QAction *action)
{
    for (QObject *holder : action->associatedObjects()) {
        if (auto *menu = qobject_cast<QMenu *>(holder))
            return new MenuItem(menu, action);
    }
    return nullptr;
}

// Asked for each class of an object, the most derived first, before Qt's own faces.
QAccessibleInterface *create(const QString &className, QObject *object)
{
    if (className == QLatin1String("QTabBar"))
        return new TabList(static_cast<QTabBar *>(object));
    if (className == QLatin1String("QComboBox") && !static_cast<QComboBox *>(object)->isEditable())
        return new DropDownList(static_cast<QComboBox *>(object));
    if (className == QLatin1String("LinkLabel"))
        return new Link(static_cast<LinkLabel *>(object));
    if (className == QLatin1String("QMenu"))
        return new Menu(static_cast<QMenu *>(object));
    if (className == QLatin1String("QAction"))
        return menuItem(static_cast<QAction *>(object));
    // A plain widget made a window is a window, not a pane inside one.
    if (className == QLatin1String("QWidget") && static_cast<QWidget *>(object)->windowType() == Qt::Window)
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

void Accessibility::install()
{
    QAccessible::installFactory(create);
}
