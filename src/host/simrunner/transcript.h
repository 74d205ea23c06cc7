// What the user sees, as lines of text: the installer-sim transcript.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "host/headless/ui.h"

namespace installersim {

// Turns the headless window system's events into transcript lines
// ("   120 ms  status: \"...\"") and keeps them.
class Transcript : public fw::headless::IObserver {
 public:
  explicit Transcript(std::ostream* echo = nullptr) : m_echo(echo) {}
  void OnEvent(const fw::headless::Event& event) override;
  const std::vector<std::string>& Lines() const { return m_lines; }
  std::string Text() const;

 private:
  void Add(uint64_t time, const std::string& line);
  std::string ControlName(int dialogId, int controlId) const;

  std::ostream* m_echo;
  std::vector<std::string> m_lines;
  std::map<std::pair<int, int>, std::string> m_listSelection;
};

std::string Quote(const std::string& text);
std::string AnswerName(int answer);
int AnswerFromName(const std::string& name);
std::vector<std::string> AnswerNames();
std::string BoxTypeName(UINT type);

}  // namespace installersim
