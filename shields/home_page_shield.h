// The home-page shield: the browser start page of the current user is watched every five
// seconds against the page the user accepted. A change is put to the user, or silently undone,
// as the options say.
#pragma once
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "system/settings.h"

namespace quillon {

constexpr const char* kStartPageKey = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr const char* kStartPageValue = "Start Page";

// Reads a value of at most 1024 bytes, cut at its first NUL: a string as it is, a 32-bit
// number as decimal text. On any failure `text` is left as it was and the answer is false.
bool readRegistryValue(Registry& registry, uint32_t root, const std::string& key, const std::string& name,
                       std::string& text);

struct HomePageEnv {
  Registry& registry;
  Settings& settings;
  std::string productName;
};

// What the shield needs from the window that owns it.
class HomePageHost {
 public:
  virtual ~HomePageHost() = default;
  // One tick of the memory shield, which rides on every third tick of this one; the host
  // decides, as for the memory shield's own timer, whether it may run now.
  virtual void memoryShieldTick() = 0;
  // Shows the question and returns once it is answered (through restore() or accept()) or
  // closed.
  virtual void askAboutChangedPage(const std::string& message) = 0;
};

class HomePageShield {
 public:
  HomePageShield(HomePageEnv env, HomePageHost& host) : env_(std::move(env)), host_(host) {}

  void tick();
  // The remembered page goes back into the browser's setting.
  void restore();
  // The new page becomes the remembered one.
  void accept();

  static std::string changedMessage(const std::string& productName, const std::string& saved,
                                    const std::string& current);

  int16_t HomePageTickCount = 0;
  std::string CurrentHomePage;  // as read at the last tick; "about:blank" when unreadable
  std::string SavedHomePage;    // the accepted page

 private:
  HomePageEnv env_;
  HomePageHost& host_;
};

}  // namespace quillon
