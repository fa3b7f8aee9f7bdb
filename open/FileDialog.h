#pragma once

#include "open/CommonDialog.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

class QFileDialog;

// CommonDialog on QFileDialog: Qt's own dialog on Linux, with the drives and
// discs under its sidebar (ShowOpen.cpp); the system's own on Windows. Each
// ShowOpen builds a fresh dialog from the current properties: nothing the
// user did last time carries over.
class FileDialog : public CommonDialog {
public:
    explicit FileDialog(QWidget* parent = nullptr);
    // The window the dialog comes up over, from the next ShowOpen on.
    void setOwner(QWidget* owner) { parent_ = owner; }

    void setCancelError(bool cancelError) override;
    void setInitDir(const QString& dir) override;
    void setDialogTitle(const QString& title) override;
    void setDefaultExt(const QString& ext) override;
    void setFilter(const QString& filter) override;
    void setFilterIndex(int index) override;
    bool ShowOpen() override;
    QString FileName() const override;
    void setFileName(const QString& fileName) override;

private:
    // The properties onto a fresh dialog whose options are set.
    void configure(QFileDialog& dialog) const;

    QPointer<QWidget> parent_;
    bool cancelError_ = false;
    QString initDir_;
    QString dialogTitle_;
    QString defaultExt_;
    QString filter_;
    int filterIndex_ = 0;
    QString fileName_;
};

// "Video Mpeg (*.mpg,*.mpeg,*.mpe)|*.mpg;*.mpeg;*.mpe|..." as QFileDialog
// name filters: "<description> (<patterns separated by spaces>)". Shown with
// HideNameFilterDetails, the combo box then reads exactly "<description>".
QStringList qtNameFilters(const QString& filter);

// "*.dat" or ".dat" -> "dat", as QFileDialog::setDefaultSuffix wants it.
QString qtDefaultSuffix(const QString& defaultExt);
