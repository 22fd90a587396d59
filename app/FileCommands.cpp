// The File commands of the main window: New, Open, Save, Save As, Exit and the
// close box, with the "Save changes first?" question that guards the ones that
// would lose edits, and the settings file moved through the pages.
//
// A failed Open changes nothing, and a failed save leaves the old file whole
// and settingsPath where it was, so Save always writes the file the title names.

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "app/Sheet.h"
#include "platform/Prompts.h"
#include "platform/Windows1252.h"
#include "settings/SettingsFile.h"

namespace varnolt {

namespace {

// saveOutcome values.
constexpr int kSaveWentThrough = 1;
constexpr int kSaveDialogCancelled = 2;
constexpr int kSaveFailed = 0;  // or held back by the user

std::filesystem::path ToPath(const QString& path) { return PathFromUtf8(path.toStdString()); }

}  // namespace

FileDialogRequest DatFileDialog(FileDialogMode mode, const QString& initialName) {
  FileDialogRequest request;
  request.mode = mode;
  request.filter = QStringLiteral("VARNOLT files (*.dat)|*.dat|All files (*.*)|*.*|");
  request.defaultExtension = QStringLiteral("dat");
  request.initialName = initialName;
  request.overwritePrompt = mode == FileDialogMode::Save;
  request.mustExist = mode == FileDialogMode::Open;
  request.hideReadOnly = true;
  return request;
}

QString CSheet::TitleFor(const QString& path) { return QFileInfo(path).fileName() + QStringLiteral(" - VARNOLT"); }

void CSheet::UpdateTitle() { setWindowTitle(settingsPath.isEmpty() ? UntitledTitle() : TitleFor(settingsPath)); }

void CSheet::ResetSettings() { varnolt::ResetSettings(settings); }

std::optional<FileError> CSheet::SerializeSettings(Archive direction, const QString& path) {
  if (direction == Archive::Store) {
    TakeCurrentPage();
    return SaveSettingsFile(ToPath(path), settings);
  }
  if (std::optional<FileError> error = LoadSettingsFile(ToPath(path), settings)) return error;
  ShowSettingsOnCurrentPage();
  SetActivePage(&pageNum);
  return std::nullopt;
}

void CSheet::TakeCurrentPage() {
  // A read that fails has shown its message; what the members hold is saved.
  if (CPropertyPage* page = GetActivePage()) page->UpdateData(true);
}

bool CSheet::TextsMayBeSaved() {
  const std::size_t notesLost = Windows1252Losses(settings.runNotes);
  const std::size_t outputLost = Windows1252Losses(settings.outputPath);
  if (notesLost == 0 && outputLost == 0) return true;
  const auto characters = [](std::size_t count) {
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? QStringLiteral("character")
                                                             : QStringLiteral("characters"));
  };
  QString text;
  if (outputLost == 0) {
    text = QStringLiteral("The notes hold %1 that settings files cannot store; they will be saved as ?.")
               .arg(characters(notesLost));
  } else if (notesLost == 0) {
    text = QStringLiteral("The output file name holds %1 that settings files cannot store; it will be saved "
                          "with ? in their place, and a run from the saved file writes to that other name.")
               .arg(characters(outputLost));
  } else {
    text = QStringLiteral("The notes hold %1 and the output file name %2 that settings files cannot store; they "
                          "will be saved as ?, and a run from the saved file writes to that other name.")
               .arg(characters(notesLost), characters(outputLost));
  }
  text += QStringLiteral(" Save anyway?");
  if (CurrentPrompts().Message(this, {text, QStringLiteral("Question"), MessageIcon::Question,
                                      MessageButtons::YesNo}) == MessageAnswer::Yes) {
    return true;
  }
  if (notesLost > 0) {
    SetActivePage(&pageNum);
    pageNum.FocusAndSelect(control::kRunNotes);
  } else {
    SetActivePage(&pageOutput);
    pageOutput.FocusAndSelect(control::kOutputPath);
  }
  return false;
}

void CSheet::ShowSettingsOnCurrentPage() {
  CPropertyPage* page = GetActivePage();
  if (!page) return;
  page->UpdateData(false);
  if (auto* treatment = dynamic_cast<CTreatmentPage*>(page)) treatment->EnableValueEdits();
}

void CSheet::ShowFileError(const FileError& error, const QString& opened) {
  QString text = QString::fromStdString(FileErrorText(error));
  if (!opened.isEmpty()) {
    const QString name = QDir::toNativeSeparators(QFileInfo(opened).absoluteFilePath());
    // A folder refuses to be read as Windows refuses it, "access denied";
    // the box says what the user did.
    if (QFileInfo(opened).isDir()) {
      text = QStringLiteral("%1 is a folder, not a settings file. Open a file inside it.").arg(name);
    } else if (error.path.empty()) {
      // The reader's own words name no file; the second line says which, and why.
      const bool damaged = error.cause == FileErrorCause::EndOfFile || error.cause == FileErrorCause::BadLength;
      text += damaged ? QStringLiteral("\n%1 is not a whole settings file: it ends too early or is damaged.").arg(name)
                      : QStringLiteral("\n%1 could not be read.").arg(name);
    }
  }
  CurrentPrompts().Message(this, {text, QCoreApplication::applicationName(),
                                  IsOutOfMemory(error) ? MessageIcon::Warning : MessageIcon::Stop,
                                  MessageButtons::Ok});
}

bool CSheet::SaveChangesFirst() {
  if (settingsModified != 1) return true;
  const MessageAnswer answer = CurrentPrompts().Message(
      this, {QStringLiteral("Save changes first?"), QStringLiteral("Question"), MessageIcon::Question,
             MessageButtons::YesNoCancel});
  switch (answer) {
    case MessageAnswer::Yes:
      saveOutcome = kSaveWentThrough;
      OnFileSave();
      return saveOutcome == kSaveWentThrough;
    case MessageAnswer::No: return true;
    default: return false;
  }
}

bool CSheet::SaveSettingsTo(const QString& path) {
  // The notes are counted as the page now holds them, before anything is written.
  TakeCurrentPage();
  if (!TextsMayBeSaved()) {
    saveOutcome = kSaveFailed;
    return false;
  }
  if (std::optional<FileError> error = SaveSettingsFile(ToPath(path), settings)) {
    saveOutcome = kSaveFailed;
    ShowFileError(*error);
    return false;
  }
  saveOutcome = kSaveWentThrough;
  settingsPath = path;
  settingsModified = 0;
  UpdateTitle();
  CurrentPrompts().Message(this, {QStringLiteral("File saved"), QStringLiteral("Done"), MessageIcon::Information,
                                  MessageButtons::Ok});
  return true;
}

void CSheet::OnFileNew() {
  if (!SaveChangesFirst()) return;
  SetActivePage(&pageNum);
  ResetSettings();
  // Still the page that was current when it holds text that is no number.
  ShowSettingsOnCurrentPage();
  settingsPath.clear();
  settingsModified = 0;
  UpdateTitle();
}

void CSheet::OnFileOpen() {
  if (!SaveChangesFirst()) return;
  const std::optional<QString> chosen =
      CurrentPrompts().ChooseFile(this, DatFileDialog(FileDialogMode::Open, QString()));
  if (chosen) OpenSettingsFile(*chosen);
}

bool CSheet::OpenSettingsFile(const QString& path) {
  if (std::optional<FileError> error = SerializeSettings(Archive::Load, path)) {
    ShowFileError(*error, path);
    return false;
  }
  settingsPath = path;
  settingsModified = 0;
  UpdateTitle();
  return true;
}

void CSheet::OnFileSave() {
  if (settingsPath.isEmpty()) {
    OnFileSaveAs();
    return;
  }
  SaveSettingsTo(settingsPath);
}

void CSheet::OnFileSaveAs() {
  const std::optional<QString> chosen =
      CurrentPrompts().ChooseFile(this, DatFileDialog(FileDialogMode::Save, settingsPath));
  saveOutcome = chosen ? kSaveWentThrough : kSaveDialogCancelled;
  if (!chosen) return;
  SaveSettingsTo(*chosen);
}

void CSheet::OnFileExit() {
  if (SaveChangesFirst()) EndDialog(IDCANCEL);
}

bool CSheet::OnCloseRequest() { return StopRunFirst() && SaveChangesFirst(); }

}  // namespace varnolt
