#include "open/FileDialog.h"

#include "player/VideoCd.h"

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QSettings>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// QFileDialog gives the default suffix to any typed name without a dot, even
// one naming an existing file or a drive, and then reports "noext.dat" as not
// found. An open dialog takes a typed name that exists as it is.
//
// Under its sidebar it also lists the optical drives and the discs mounted
// from one; choosing either hands over the drive, whose disc plays.
class OpenFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    // Drives and mounted discs go in a list of their own under the sidebar,
    // which takes folders only.
    void addDiscPlaces()
    {
        auto* discs = new QListWidget;
        discs->setObjectName(QStringLiteral("discList"));
        const QFileIconProvider icons;
        for (const QFileInfo& drive : QDir(QStringLiteral("/dev")).entryInfoList({QStringLiteral("sr[0-9]*")}, QDir::System))
            addDisc(discs, icons.icon(QFileIconProvider::Drive), drive.filePath(), drive.filePath());
        for (const VideoCdMount& mount : mountTable())
            if (mount.fileSystem == QLatin1String("iso9660") || mount.fileSystem == QLatin1String("udf"))
                addDisc(discs, icons.icon(QFileIconProvider::Drive), QFileInfo(mount.mountPoint).fileName(), mount.device);
        auto* splitter = findChild<QSplitter*>(QStringLiteral("splitter"));
        auto* sidebar = findChild<QListView*>(QStringLiteral("sidebar"));
        if (discs->count() == 0 || !splitter || !sidebar || splitter->indexOf(sidebar) < 0) {
            delete discs;
            return;
        }
        // In the sidebar's place, as wide as the longer list's names.
        auto* side = new QWidget;
        auto* column = new QVBoxLayout(side);
        column->setContentsMargins(0, 0, 0, 0);
        splitter->insertWidget(splitter->indexOf(sidebar), side);
        column->addWidget(sidebar, 2);
        column->addWidget(discs, 1);
        const int wide = std::max(sidebar->sizeHintForColumn(0), discs->sizeHintForColumn(0)) + 2 * discs->frameWidth() + 8;
        splitter->setSizes({wide, std::max(1, width() - wide)});
        connect(discs, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
            chosen_ = item->data(Qt::UserRole).toString();
            QDialog::accept();
        });
    }

    // A drive or disc chosen under the sidebar, or a file typed as it is;
    // empty if the choice is among selectedFiles().
    QString chosen() const { return chosen_; }

    void accept() override
    {
        const auto* typed = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const auto* list = findChild<QListView*>(QStringLiteral("listView"));
        const bool picked = list && list->selectionModel() && list->selectionModel()->hasSelection();
        if (typed && !typed->text().isEmpty()) {
            const QFileInfo named(QDir(directory()), typed->text());
            // A full path is taken as typed: the list may not have caught up
            // with it yet (a folder as large as /dev is read in the background).
            if (named.exists() && !named.isDir() && (!picked || QDir::isAbsolutePath(typed->text()))) {
                chosen_ = named.absoluteFilePath();
                return QDialog::accept();
            }
        }
        QFileDialog::accept();
    }

private:
    static void addDisc(QListWidget* list, const QIcon& icon, const QString& name, const QString& drive)
    {
        auto* item = new QListWidgetItem(icon, name, list);
        item->setData(Qt::UserRole, drive);
        item->setToolTip(drive.toHtmlEscaped());
    }

    QString chosen_;
};

}  // namespace

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

bool FileDialog::ShowOpen()
{
    // Qt's own dialog keeps its history and layout in the user's
    // QtProject.conf; this player reads and writes no settings, so Qt's are
    // looked for where no file can be.
    for (const auto scope : {QSettings::UserScope, QSettings::SystemScope})
        QSettings::setPath(QSettings::NativeFormat, scope, QStringLiteral("/dev/null"));
    OpenFileDialog dialog(parent_);
    // Options first: they decide which kind of dialog the setters configure.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!dialogTitle_.isEmpty())  // else Qt's own "Open"
        dialog.setWindowTitle(dialogTitle_);
    dialog.setDirectory(initDir_);
    // Drives are device nodes: shown, and openable by name.
    dialog.setFilter(dialog.filter() | QDir::System);
    dialog.addDiscPlaces();

    const QStringList filters = qtNameFilters(filter_);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = (filterIndex_ >= 1 && filterIndex_ <= filters.size()) ? filterIndex_ : 1;
        dialog.selectNameFilter(filters.at(index - 1));
    }
    dialog.setDefaultSuffix(qtDefaultSuffix(defaultExt_));
    if (!fileName_.isEmpty())
        dialog.selectFile(fileName_);

    if (dialog.exec() == QDialog::Accepted && (!dialog.chosen().isEmpty() || !dialog.selectedFiles().isEmpty())) {
        fileName_ = dialog.chosen().isEmpty() ? dialog.selectedFiles().constFirst() : dialog.chosen();
        return true;
    }
    fileName_.clear();
    return !cancelError_;
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
