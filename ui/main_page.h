// What a page of the main window reaches: the form its controls are registered on (the GUI binds
// the controls of a form), the platform, the session it shows, and the few things only the frame
// around the pages can do.
#pragma once
#include <string>

#include "controls/controls.h"
#include "platform/platform.h"
#include "session/session.h"

namespace quillon::ui {

// Forms are made of the headless controls.
using namespace quillon::controls;

class MainFrame {
 public:
  // A box of the window: the background timers start nothing while it waits.
  virtual int messageBox(const std::string& text, const std::string& title, unsigned flags) = 0;
  virtual void showPage(Frame& page) = 0;
  // Counts, dates or totals changed: the status page shows them again.
  virtual void refreshStatus() = 0;
  // A stored option changed: the background timers follow it through the one rule.
  virtual void followOptions() = 0;
  virtual void startScan() = 0;
  virtual void runLiveUpdate() = 0;
  virtual void lockRedraw(bool lock) = 0;

 protected:
  ~MainFrame() = default;
};

struct PageEnv {
  Form& form;
  Platform& platform;
  Session& session;
  MainFrame& frame;
};

// Places a control inside its container.
inline void place(Control& c, Control* in, int x, int y, int w, int h) {
  c.container = in;
  c.setLayout({x, y, w, h});
}

// How the options are stored: check boxes as "1"/"0" (or "2"), option buttons as "True"/"False".
// A stored value that is not a number (or not a boolean) leaves its control as it is.
inline const char* trueFalse(bool b) { return b ? "True" : "False"; }
inline std::string boxValue(const CheckBox& c) { return std::to_string(c.value()); }
inline void loadBox(Settings& settings, const SettingKey& key, CheckBox& box) {
  auto v = settings.readNumber(key);
  if (v && (*v == 0 || *v == 1 || *v == 2)) box.setValue(int(*v));
}
inline void loadOption(Settings& settings, const SettingKey& key, OptionButton& opt) {
  if (auto v = settings.readBoolean(key)) opt.setValue(*v);
}
// A box that stores its value whenever it is clicked.
inline void storeOnClick(Settings& settings, CheckBox& box, const SettingKey& key) {
  box.onClick = [&settings, &box, &key] { settings.write(key, boxValue(box)); };
}

}  // namespace quillon::ui
