// One line of talvern's --json output, as a run on several ports reads the
// events of the talvern it started for each port: a JSON object whose fields
// are kept as their JSON text, strings and numbers decoded when asked for.
// Anything but one object on the line (or nesting deeper than 32) is refused.
#pragma once
#include <string>
#include <utility>
#include <vector>

class EventLine {
 public:
  static bool Parse(const std::string& line, EventLine* out);

  bool Has(const std::string& name) const { return Raw(name) != nullptr; }
  // The field's JSON text; nullptr when there is none.
  const std::string* Raw(const std::string& name) const;
  // A string field decoded ("\u00e9" is the byte 0xE9, as talvern writes them); "" otherwise.
  std::string Text(const std::string& name) const;
  // A number field; `otherwise` when there is none.
  double Number(const std::string& name, double otherwise = -1) const;
  bool Flag(const std::string& name) const;
  // The strings of an array field.
  std::vector<std::string> Texts(const std::string& name) const;
  const std::string& Event() const { return event_; }

  // `line` (an object) with the string field `name` first.
  static std::string WithField(const std::string& line, const std::string& name, const std::string& value);

 private:
  std::vector<std::pair<std::string, std::string>> fields_;
  std::string event_;
};
