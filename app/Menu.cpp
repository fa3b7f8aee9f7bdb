#include "app/Menu.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>

namespace {

// Qt's menus on X also take another button's release over an item as a
// choice; here only the left button chooses.
class LeftButtonChooses : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override
    {
        return event->type() == QEvent::MouseButtonRelease
            && static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton;
    }
};

}  // namespace

QMenu* createMenuTree(QWidget* parent)
{
    static const char* const items[][2] = {
        {"mnuApri", "Apri"},
        {"mnuSeparatore", "-"},
        {"mnuFinestra", "In Finestra (Esc)"},
        {"mnuFullscreen", "A Schermo intero"},
        {"mnuSeparatore0", "-"},
        {"mnuPlay", "Play"},
        {"mnuPausa", "Pausa"},
        {"mnuStop", "Stop"},
        {"mnuSeparatore2", "-"},
        {"mnuNext", ">>| Traccia successiva"},
        {"mnuPrevious", "|<< Traccia precedente"},
        {"mnuSeparatore4", "-"},
        {"mnuInfo", "Info"},
        {"mnuEsci", "Esci"},
    };
    auto* mnuSchermo = new QMenu(QStringLiteral("&Player"), parent);
    mnuSchermo->setObjectName(QStringLiteral("mnuSchermo"));
    mnuSchermo->installEventFilter(new LeftButtonChooses(mnuSchermo));
    for (const auto& [name, caption] : items) {
        const bool separator = qstrcmp(caption, "-") == 0;
        QAction* item = new QAction(separator ? QString() : QString::fromUtf8(caption), mnuSchermo);
        item->setObjectName(QString::fromUtf8(name));
        item->setSeparator(separator);
        mnuSchermo->addAction(item);
    }
    return mnuSchermo;
}

static QAction* item(const QMenu& menu, const QString& name)
{
    return menu.findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

void onChosen(QMenu& mnuSchermo, const QString& name, std::function<void()> handler)
{
    QAction* action = item(mnuSchermo, name);
    if (!action)
        return;
    QObject::connect(action, &QAction::triggered, action, [action, handler = std::move(handler)](bool checked) {
        if (action->isCheckable())
            action->setChecked(!checked);
        handler();
    });
}

void ActionMenuItems::setChecked(const QString& name, bool checked)
{
    // Only a checked item is checkable, so unchecked ones show no empty box.
    if (QAction* action = item(menu_, name)) {
        action->setCheckable(checked);
        action->setChecked(checked);
    }
}

void ActionMenuItems::setEnabled(const QString& name, bool enabled)
{
    if (QAction* action = item(menu_, name))
        action->setEnabled(enabled);
}
