#pragma once

#include "app/MenuItems.h"

#include <QString>
#include <functional>

class QMenu;
class QWidget;

// "&Player" (mnuSchermo) and its fourteen children, named and captioned as
// the user knows them; every command starts enabled and unchecked.
QMenu* createMenuTree(QWidget* parent);

// Runs `handler` when the named item is chosen. A checkable item flips its
// own mark before anyone hears of the choice; that flip is undone first, so
// the marks change only through the handlers.
void onChosen(QMenu& mnuSchermo, const QString& name, std::function<void()> handler);

// The menu items as handlers see them: marks and enabled flags by name.
class ActionMenuItems : public MenuItems {
public:
    explicit ActionMenuItems(QMenu& mnuSchermo) : menu_(mnuSchermo) {}
    void setChecked(const QString& name, bool checked) override;
    void setEnabled(const QString& name, bool enabled) override;

private:
    QMenu& menu_;
};
