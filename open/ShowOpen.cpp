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
    configure(dialog);
    // Drives are device nodes: shown, and openable by name.
    dialog.setFilter(dialog.filter() | QDir::System);
    dialog.addDiscPlaces();

    if (dialog.exec() == QDialog::Accepted && (!dialog.chosen().isEmpty() || !dialog.selectedFiles().isEmpty())) {
        fileName_ = dialog.chosen().isEmpty() ? dialog.selectedFiles().constFirst() : dialog.chosen();
        return true;
    }
    fileName_.clear();
    return !cancelError_;
}
