#pragma once

#include <QString>

// The only things a handler may do to the menu: set an item's check mark or
// its enabled flag, addressing the item by its name ("mnuPlay", ...).
class MenuItems {
public:
    virtual ~MenuItems() = default;
    virtual void setChecked(const QString& name, bool checked) = 0;
    virtual void setEnabled(const QString& name, bool enabled) = 0;
};
