#pragma once

#include <QString>

#include <optional>

class QWidget;

// The program's one save dialog (filter "All file (*.*)"). Tests can answer it instead of a user.
namespace SaveDialog {

// The chosen path, or empty when the dialog was cancelled. proposedName is the file name offered.
QString GetSaveFileName(QWidget *parent, const QString &proposedName);

// Test hook: while set, no dialog is shown and every call answers with this (empty = cancelled).
void setAutoAnswer(std::optional<QString> answer);
void clearAutoAnswer();
// The names proposed while the hook was set.
QString lastProposedName();

} // namespace SaveDialog
