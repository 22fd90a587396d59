#pragma once
// Prompts for tests: answers come from a script, in order, and every box and
// file dialog is recorded with everything the user would have seen. Nothing is
// ever shown and nothing waits for input.

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "platform/Prompts.h"

namespace varnolt {

class RecordingPrompts : public Prompts {
 public:
  struct MessageRecord {
    QWidget* owner;
    MessageRequest request;
    MessageAnswer answer;
  };
  struct FileRecord {
    QWidget* owner;
    FileDialogRequest request;
    std::optional<QString> answer;
  };

  // The answer to the next message box. Unscripted boxes answer Ok, or Cancel
  // where they have one, and are counted in `unscripted`.
  void AnswerNextMessage(MessageAnswer answer) { messageAnswers_.push_back(answer); }
  // The path the next file dialog returns; nothing means the user cancels.
  // Unscripted dialogs are cancelled and counted.
  void AnswerNextFile(std::optional<QString> path) { fileAnswers_.push_back(std::move(path)); }

  MessageAnswer Message(QWidget* owner, const MessageRequest& request) override;
  std::optional<QString> ChooseFile(QWidget* owner, const FileDialogRequest& request) override;

  // Called with each box as it would show, before it is answered: lets a test
  // look at the window at that moment.
  std::function<void(const MessageRequest&)> onMessage;

  std::vector<MessageRecord> messages;
  std::vector<FileRecord> files;
  int unscripted = 0;

  // The texts of the recorded boxes, in order.
  QStringList MessageTexts() const;
  bool AllScriptedAnswersUsed() const { return messageAnswers_.empty() && fileAnswers_.empty(); }
  void Clear();

 private:
  std::deque<MessageAnswer> messageAnswers_;
  std::deque<std::optional<QString>> fileAnswers_;
};

}  // namespace varnolt
