#include "shields/home_page_shield.h"

namespace quillon {

namespace {
// The access the start page's key is opened with, for reading and for writing.
constexpr uint32_t kStartPageAccess = 0x3F;
}  // namespace

bool readRegistryValue(Registry& registry, uint32_t root, const std::string& key, const std::string& name,
                       std::string& text) {
  RegValue v;
  if (registry.queryValue(root, key, name, kStartPageAccess, v) != RegStatus::Ok) return false;
  // The whole value, however long: a page address read cut short would be stored cut and, on a
  // restore, written back as an address the user never had.
  const std::string& data = v.data;
  if (v.type == kRegDword) {
    if (data.size() < 4) return false;
    uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(data[size_t(i)]);
    text = std::to_string(n);
    return true;
  }
  if (v.type != kRegSz && v.type != kRegExpandSz) return false;
  text = data.substr(0, data.find('\0'));
  return true;
}

std::string HomePageShield::changedMessage(const std::string& productName, const std::string& saved,
                                           const std::string& current) {
  return productName + " has detected that your Homepage has been changed.\r\n\r\n" +
         "Click YES to keep your homepage as:\r\n" + saved + "\r\n\r\n" +
         "Click No to change your homepage to:\r\n" + current;
}

void HomePageShield::tick() {
  // Every third tick (every 15 seconds) also runs the memory shield.
  if (++HomePageTickCount > 2) {
    HomePageTickCount = 0;
    host_.memoryShieldTick();
  }
  // Switched off, the tick changes nothing; the owner's timer rule stops the timer.
  if (!env_.settings.isOn(keys::optHomePageShieldOn)) return;
  CurrentHomePage = "about:blank";
  readRegistryValue(env_.registry, kHkeyCurrentUser, kStartPageKey, kStartPageValue, CurrentHomePage);
  SavedHomePage = env_.settings.read(keys::Homepage);
  if (SavedHomePage.empty()) {
    // The first tick adopts whatever page is set.
    SavedHomePage = CurrentHomePage;
    env_.settings.write(keys::Homepage, SavedHomePage);
  }
  if (SavedHomePage == CurrentHomePage) return;  // exact: a change of letter case is a change
  if (env_.settings.isOn(keys::optAskBeforeRestoring))
    host_.askAboutChangedPage(changedMessage(env_.productName, SavedHomePage, CurrentHomePage));
  else if (env_.settings.isOn(keys::optRestoreSilently))
    restore();
}

void HomePageShield::restore() {
  env_.settings.write(keys::Homepage, SavedHomePage);
  env_.registry.setValue(kHkeyCurrentUser, kStartPageKey, kStartPageValue,
                         RegValue{kRegSz, SavedHomePage + std::string(1, '\0')});
}

void HomePageShield::accept() { env_.settings.write(keys::Homepage, CurrentHomePage); }

}  // namespace quillon
