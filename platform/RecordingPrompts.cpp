#include "platform/RecordingPrompts.h"

#include <QStringList>

namespace varnolt {

MessageAnswer RecordingPrompts::Message(QWidget* owner, const MessageRequest& request) {
  if (onMessage) onMessage(request);
  MessageAnswer answer;
  if (!messageAnswers_.empty()) {
    answer = messageAnswers_.front();
    messageAnswers_.pop_front();
  } else {
    ++unscripted;
    answer = AnswerWhenClosed(request.buttons);
  }
  messages.push_back({owner, request, answer});
  return answer;
}

std::optional<QString> RecordingPrompts::ChooseFile(QWidget* owner, const FileDialogRequest& request) {
  std::optional<QString> answer;
  if (!fileAnswers_.empty()) {
    answer = fileAnswers_.front();
    fileAnswers_.pop_front();
  } else {
    ++unscripted;
  }
  files.push_back({owner, request, answer});
  return answer;
}

QStringList RecordingPrompts::MessageTexts() const {
  QStringList texts;
  for (const MessageRecord& record : messages) texts << record.request.text;
  return texts;
}

void RecordingPrompts::Clear() {
  messages.clear();
  files.clear();
  unscripted = 0;
  messageAnswers_.clear();
  fileAnswers_.clear();
}

}  // namespace varnolt
