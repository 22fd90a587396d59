#include "platform/Prompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace varnolt {

namespace {

Prompts* installedPrompts = nullptr;

QMessageBox::Icon ToQt(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Stop: return QMessageBox::Critical;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQt(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok: return QMessageBox::Ok;
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

}  // namespace

MessageAnswer QtPrompts::Message(QWidget* owner, const MessageRequest& request) {
  QMessageBox box(ToQt(request.icon), request.caption, request.text, ToQt(request.buttons), owner);
  const MessageAnswer whenClosed = AnswerWhenClosed(request.buttons);
  if (whenClosed == MessageAnswer::Cancel) box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    case QMessageBox::Ok: return MessageAnswer::Ok;
    default: return whenClosed;
  }
}

std::optional<QString> QtPrompts::ChooseFile(QWidget* owner, const FileDialogRequest& request) {
  const bool saving = request.mode == FileDialogMode::Save;
  QFileDialog dialog(owner, saving ? QObject::tr("Save As") : QObject::tr("Open"));
  dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(saving || !request.mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilters(FileDialogNameFilters(request.filter));
  dialog.setDefaultSuffix(request.defaultExtension);
  // Qt's dialog has no read-only check box, so hideReadOnly needs nothing here.
  if (saving && !request.overwritePrompt) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.initialName.isEmpty()) dialog.selectFile(request.initialName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

Prompts& CurrentPrompts() {
  static QtPrompts realPrompts;
  return installedPrompts ? *installedPrompts : realPrompts;
}

ScopedPrompts::ScopedPrompts(Prompts& prompts) : previous_(installedPrompts) { installedPrompts = &prompts; }
ScopedPrompts::~ScopedPrompts() { installedPrompts = previous_; }

QStringList FileDialogNameFilters(const QString& filter) {
  QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype at = 0; at + 1 < parts.size(); at += 2) {
    const QString description = parts[at].trimmed();
    const QString patterns = parts[at + 1].trimmed();
    if (description.isEmpty() && patterns.isEmpty()) break;
    QString patternList = patterns;
    patternList.replace(QLatin1Char(';'), QLatin1Char(' '));
    QString nameFilter = description.contains(QLatin1Char('('))
                             ? description
                             : description + QStringLiteral(" (") + patternList + QLatin1Char(')');
#ifndef Q_OS_WIN
    // Windows takes "*.*" for every file; elsewhere it would hide names without
    // a dot, such as a settings file saved as "trial4", so "All files" says "*".
    if (nameFilter.endsWith(QStringLiteral("(*.*)"))) nameFilter.replace(nameFilter.size() - 4, 3, QStringLiteral("*"));
#endif
    filters << nameFilter;
  }
  return filters;
}

}  // namespace varnolt
