// Shows the plug-in's message boxes, dialogs, wizard pages and file choosers
// on the console, and reads the person's answers, where the host's answer
// policy asks for them; with --json it reports each as an event.
#pragma once
#include <cstdio>
#include <string>

#include "host/Console.h"
#include "host/Options.h"
#include "hostlib/HostPresenter.h"

class ConsolePresenter : public HostPresenter {
 public:
  ConsolePresenter(const Options& options, Console& console, std::FILE* in);

  void SetClipboardText(const std::string& text) override;

 protected:
  int AskButton(const std::string& text, const std::string& caption, UINT flags) override;
  void BoxAnswered(const Question& question, const std::vector<std::string>& options) override;
  bool EditsForms() const override { return !Batch() && !console_.Json(); }
  std::string EditForm(CDialog& dialog, bool wizard, bool lastPage) override;
  void DialogClosed(CDialog& dialog, const std::string& result) override;
  void PageLeft(int index, CDialog& page, const std::string& result) override;
  std::string AskFile(CFileDialog& dialog) override;

 private:
  bool ReadLine(std::string* line);
  void PrintForm(CDialog& dialog, bool wizard, bool lastPage);

  Console& console_;
  std::FILE* in_;
  bool inputEnded_ = false;
};
