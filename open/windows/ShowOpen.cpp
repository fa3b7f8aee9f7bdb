#include "open/FileDialog.h"

#include <QDir>
#include <QFileDialog>

// The system's own open dialog: drives and discs are in it already.
bool FileDialog::ShowOpen()
{
    QFileDialog dialog(parent_);
    dialog.setOptions(QFileDialog::HideNameFilterDetails);
    configure(dialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        fileName_ = QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
        return true;
    }
    fileName_.clear();
    return !cancelError_;
}
