#include "open/OpenMedia.h"

#include "open/CommonDialog.h"
#include "open/FileTypes.h"
#include "player/Player.h"

namespace {

// Everything between setting CancelError and clearing FileName; returning
// early is how a cancel or a refused file skips the rest.
void askAndOpen(CommonDialog& dlgFile, Player& player, const QString& programFolder)
{
    dlgFile.setInitDir(programFolder);
    dlgFile.setDialogTitle(QStringLiteral("Tembrio"));
    dlgFile.setDefaultExt(QStringLiteral("*.dat"));
    dlgFile.setFilter(kFileTypes);
    dlgFile.setFilterIndex(1);
    if (!dlgFile.ShowOpen())
        return;
    const QString fileName = dlgFile.FileName();
    player.setFileName(fileName);
}

}  // namespace

void mnuApri_Click(CommonDialog& dlgFile, Player& player, const QString& programFolder)
{
    dlgFile.setCancelError(true);
    askAndOpen(dlgFile, player, programFolder);
    dlgFile.setFileName(QString());
}
