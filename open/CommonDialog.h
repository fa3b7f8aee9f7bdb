#pragma once

#include <QString>

// The operations the program uses of a file dialog component, in the shape of
// the common dialog control it replaces: set the properties, then ShowOpen.
class CommonDialog {
public:
    virtual ~CommonDialog() = default;

    // When set, ShowOpen reports a cancel as a failure (returns false).
    virtual void setCancelError(bool cancelError) = 0;
    virtual void setInitDir(const QString& dir) = 0;
    virtual void setDialogTitle(const QString& title) = 0;
    // Extension given to a typed name that has none, e.g. "*.dat".
    virtual void setDefaultExt(const QString& ext) = 0;
    // "description|patterns|description|patterns|", patterns split by ';'.
    virtual void setFilter(const QString& filter) = 0;
    // 1-based index into the filter's descriptions.
    virtual void setFilterIndex(int index) = 0;

    // Modal. False when cancelled with CancelError set; a cancel without
    // CancelError returns true and leaves FileName empty.
    virtual bool ShowOpen() = 0;

    virtual QString FileName() const = 0;
    virtual void setFileName(const QString& fileName) = 0;
};
