#pragma once
// Every message box and file dialog of the program goes through one seam, so
// that tests can answer them and see exactly what the user would have seen.
// QtPrompts shows the real dialogs; RecordingPrompts (RecordingPrompts.h)
// answers from a script and records every box.

#include <QString>
#include <optional>

class QWidget;

namespace varnolt {

enum class MessageIcon { None, Information, Question, Warning, Stop };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// A box closed without a button answers Cancel when it has one, else Ok; the
// real and the recording prompts both answer by this.
inline MessageAnswer AnswerWhenClosed(MessageButtons buttons) {
  const bool hasCancel = buttons == MessageButtons::OkCancel || buttons == MessageButtons::YesNoCancel;
  return hasCancel ? MessageAnswer::Cancel : MessageAnswer::Ok;
}

struct MessageRequest {
  QString text;  // '\n' breaks the line
  QString caption;
  MessageIcon icon = MessageIcon::None;
  MessageButtons buttons = MessageButtons::Ok;
};

enum class FileDialogMode { Save, Open };

struct FileDialogRequest {
  FileDialogMode mode = FileDialogMode::Save;
  // Pairs of description and pattern, each ended by '|', the whole ended by a
  // second '|': "VARNOLT files (*.dat)|*.dat|All files (*.*)|*.*|".
  QString filter;
  QString defaultExtension;  // added to a name typed without one; no dot
  QString initialName;
  bool overwritePrompt = false;  // save: ask before replacing an existing file
  bool mustExist = false;        // open: only an existing file may be chosen
  bool hideReadOnly = true;      // no read-only check box
};

// A save dialog that asks before replacing a file.
inline FileDialogRequest SaveFileRequest(const QString& filter, const QString& extension, const QString& initialName) {
  FileDialogRequest request;
  request.mode = FileDialogMode::Save;
  request.filter = filter;
  request.defaultExtension = extension;
  request.initialName = initialName;
  request.overwritePrompt = true;
  return request;
}

class Prompts {
 public:
  virtual ~Prompts() = default;
  // A modal box owned by `owner`; returns the button the user pressed. Closing
  // the box without a button answers Cancel where there is one, else Ok.
  virtual MessageAnswer Message(QWidget* owner, const MessageRequest& request) = 0;
  // A modal file dialog; the full path chosen, or nothing when cancelled.
  virtual std::optional<QString> ChooseFile(QWidget* owner, const FileDialogRequest& request) = 0;
};

// The real dialogs, through QMessageBox and QFileDialog.
class QtPrompts : public Prompts {
 public:
  MessageAnswer Message(QWidget* owner, const MessageRequest& request) override;
  std::optional<QString> ChooseFile(QWidget* owner, const FileDialogRequest& request) override;
};

// The prompts the program uses: the real ones unless others were installed.
Prompts& CurrentPrompts();
// Installs `prompts` (not owned) for as long as the returned guard lives.
class ScopedPrompts {
 public:
  explicit ScopedPrompts(Prompts& prompts);
  ~ScopedPrompts();
  ScopedPrompts(const ScopedPrompts&) = delete;
  ScopedPrompts& operator=(const ScopedPrompts&) = delete;

 private:
  Prompts* previous_;
};

// The name filters of a '|'-separated filter, as Qt's file dialog takes them:
// "VARNOLT files (*.dat)", "All files (*.*)". A description that does not name
// its patterns in parentheses gets them appended.
QStringList FileDialogNameFilters(const QString& filter);

}  // namespace varnolt
