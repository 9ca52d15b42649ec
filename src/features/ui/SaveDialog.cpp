#include "features/ui/SaveDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

namespace SaveDialog {

namespace {
struct Hook {
    std::optional<QString> answer;
    QString proposed;
};

Hook &hook()
{
    static Hook h;
    return h;
}
} // namespace

QString GetSaveFileName(QWidget *parent, const QString &proposedName)
{
    if (hook().answer) {
        hook().proposed = proposedName;
        return *hook().answer;
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    return QFileDialog::getSaveFileName(parent, QString(), QDir(folder).filePath(proposedName),
                                        QStringLiteral("All file (*.*)"));
}

void setAutoAnswer(std::optional<QString> answer)
{
    hook().answer = std::move(answer);
}

void clearAutoAnswer()
{
    hook().answer.reset();
}

QString lastProposedName()
{
    return hook().proposed;
}

} // namespace SaveDialog
