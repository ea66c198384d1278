#include "shellutil/scripted_dialogs.h"

namespace shellutil {

QList<Interaction> ScriptedDialogs::boxes() const {
  QList<Interaction> out;
  for (const Interaction& i : shown_)
    if (i.kind == Interaction::Kind::MessageBox) out << i;
  return out;
}

int ScriptedDialogs::messageBox(QWidget*, const QString& text, int style, const QString& title) {
  Interaction i;
  i.kind = Interaction::Kind::MessageBox;
  i.text = text;
  i.title = title;
  i.style = style;
  i.answer = boxAnswers_.isEmpty() ? decodeStyle(style).defaultButton : boxAnswers_.dequeue();
  shown_ << i;
  if (whileShown) whileShown(i);
  return i.answer;
}

QStringList ScriptedDialogs::openFiles(QWidget*, const OpenFileRequest& request) {
  Interaction i;
  i.kind = Interaction::Kind::OpenFiles;
  i.request = request;
  shown_ << i;
  if (whileShown) whileShown(i);
  if (fileAnswers_.isEmpty()) return {};
  auto answer = fileAnswers_.dequeue();
  if (auto* error = std::get_if<DialogError>(&answer)) throw *error;
  return std::get<QStringList>(answer);
}

QString ScriptedDialogs::browseForFolder(QWidget*, const QString& title) {
  Interaction i;
  i.kind = Interaction::Kind::BrowseForFolder;
  i.text = title;
  shown_ << i;
  if (whileShown) whileShown(i);
  return folderAnswers_.isEmpty() ? QString() : folderAnswers_.dequeue();
}

void ScriptedDialogs::shellOpen(const QString& target) {
  Interaction i;
  i.kind = Interaction::Kind::ShellOpen;
  i.text = target;
  shown_ << i;
}

}  // namespace shellutil
