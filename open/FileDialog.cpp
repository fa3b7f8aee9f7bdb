#include "open/FileDialog.h"

#include <QFileDialog>

FileDialog::FileDialog(QWidget* parent)
    : parent_(parent)
{
}

void FileDialog::setCancelError(bool cancelError) { cancelError_ = cancelError; }
void FileDialog::setInitDir(const QString& dir) { initDir_ = dir; }
void FileDialog::setDialogTitle(const QString& title) { dialogTitle_ = title; }
void FileDialog::setDefaultExt(const QString& ext) { defaultExt_ = ext; }
void FileDialog::setFilter(const QString& filter) { filter_ = filter; }
void FileDialog::setFilterIndex(int index) { filterIndex_ = index; }
QString FileDialog::FileName() const { return fileName_; }
void FileDialog::setFileName(const QString& fileName) { fileName_ = fileName; }

void FileDialog::configure(QFileDialog& dialog) const
{
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!dialogTitle_.isEmpty())  // else Qt's own "Open"
        dialog.setWindowTitle(dialogTitle_);
    dialog.setDirectory(initDir_);
    const QStringList filters = qtNameFilters(filter_);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = (filterIndex_ >= 1 && filterIndex_ <= filters.size()) ? filterIndex_ : 1;
        dialog.selectNameFilter(filters.at(index - 1));
    }
    dialog.setDefaultSuffix(qtDefaultSuffix(defaultExt_));
    if (!fileName_.isEmpty())
        dialog.selectFile(fileName_);
}

QStringList qtNameFilters(const QString& filter)
{
    QStringList fields = filter.split(u'|');
    // A well-formed list ends with '|', leaving one empty field behind.
    if (fields.constLast().isEmpty())
        fields.removeLast();

    QStringList result;
    for (qsizetype i = 0; i < fields.size(); i += 2) {
        QStringList patterns;
        if (i + 1 < fields.size()) {
            for (QString pattern : fields.at(i + 1).split(u';')) {
                pattern = pattern.trimmed();
                if (pattern.isEmpty())
                    continue;
                // On Windows "*.*" matches every file; for Qt it needs a dot.
                patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
                // Windows matches names in any case; here a mounted disc
                // shows AVSEQ01.DAT or avseq01.dat, as its mount options say.
                if (pattern.toUpper() != pattern)
                    patterns << pattern.toUpper();
            }
        }
        // A description without patterns still gets an entry, listing all.
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        const QString joined = patterns.join(u' ');
        const QString description = fields.at(i).trimmed().isEmpty() ? joined : fields.at(i);
        // Qt takes the patterns from the last parentheses and, with
        // HideNameFilterDetails, shows only what precedes them.
        result << description + QStringLiteral(" (") + joined + u')';
    }
    return result;
}

QString qtDefaultSuffix(const QString& defaultExt)
{
    QString suffix = defaultExt.trimmed();
    if (suffix.startsWith(u'*'))
        suffix.remove(0, 1);
    if (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    // "*" or "*.*" name no particular extension.
    if (suffix.contains(u'*') || suffix.contains(u'?'))
        return QString();
    return suffix;
}
