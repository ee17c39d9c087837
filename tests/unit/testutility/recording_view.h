// A dialog view that keeps the fields in memory and records what the dialog did to it.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "testutility/core/dialog_view.h"

namespace polecheck::testing {

class RecordingView : public DialogView {
 public:
  std::u16string GetFieldText(int id) override { return fields[id]; }
  void SetFieldText(int id, std::u16string_view text) override { fields[id] = text; }
  void EnableControl(int id, bool enable) override {
    events.push_back((enable ? "enable " : "disable ") + std::to_string(id));
    if (enable) {
      disabled.erase(id);
    } else {
      disabled.insert(id);
    }
  }
  void SetButtonCaption(int id, std::u16string_view caption) override { captions[id] = caption; }
  void FocusAndSelect(int id) override { events.push_back("focus " + std::to_string(id)); }
  void MessageBox(std::string_view text, std::string_view caption) override {
    messages.push_back(std::string(caption) + ": " + std::string(text));
  }
  void EndDialog(int result) override { ended.push_back(result); }
  void InitWindow() override { events.push_back("init window"); }

  std::map<int, std::u16string> fields;
  std::map<int, std::u16string> captions;
  std::set<int> disabled;
  std::vector<std::string> events;
  std::vector<std::string> messages;
  std::vector<int> ended;
};

}  // namespace polecheck::testing
