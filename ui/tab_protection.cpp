#include "ui/tab_protection.h"

namespace quillon::ui {

// The options are stored before the timers follow them through the one rule.
TabProtection::TabProtection(PageEnv env) : env_(env) {
  Settings& settings = env_.session.settings;
  // Each shield is one setting shown by a box and two option buttons: storing both keys, then
  // bringing the other controls in line. A button left selected against the box could not be
  // clicked to switch the shield back.
  auto shield = [&settings, this](const SettingKey& onKey, const SettingKey& offKey, bool on) {
    settings.write(onKey, trueFalse(on));
    settings.write(offKey, trueFalse(!on));
    env_.frame.followOptions();
  };
  chkMemoryShield.onClick = [this, shield] {
    const bool on = chkMemoryShield.value() != 0;
    shield(keys::optMemoryShieldOn, keys::optMemoryShieldOff, on);
    (on ? optMemoryShieldOn : optMemoryShieldOff).setValue(true);
  };
  chkHomePageShield.onClick = [this, shield] {
    const bool on = chkHomePageShield.value() != 0;
    shield(keys::optHomePageShieldOn, keys::optHomePageShieldOff, on);
    setHomePageShield(chkHomePageShield.value() == 1);
    (on ? optHomePageShieldOn : optHomePageShieldOff).setValue(true);
  };
  auto memoryOption = [this, &settings](bool enabledButton) {
    settings.write(keys::optMemoryShieldOn, trueFalse(optMemoryShieldOn.value()));
    settings.write(keys::optMemoryShieldOff, trueFalse(optMemoryShieldOff.value()));
    env_.frame.followOptions();
    chkMemoryShield.setValue(enabledButton ? 1 : 0);
  };
  optMemoryShieldOn.onClick = [memoryOption] { memoryOption(true); };
  optMemoryShieldOff.onClick = [memoryOption] { memoryOption(false); };
  auto homeOption = [this, &settings](bool enabledButton) {
    settings.write(keys::optHomePageShieldOn, trueFalse(optHomePageShieldOn.value()));
    settings.write(keys::optHomePageShieldOff, trueFalse(optHomePageShieldOff.value()));
    setHomePageShield(enabledButton);
    chkHomePageShield.setValue(enabledButton ? 1 : 0);
  };
  optHomePageShieldOn.onClick = [homeOption] { homeOption(true); };
  optHomePageShieldOff.onClick = [homeOption] { homeOption(false); };
  auto actionOption = [this, &settings] {
    settings.write(keys::optAskBeforeRestoring, trueFalse(optAskBeforeRestoring.value()));
    settings.write(keys::optRestoreSilently, trueFalse(optRestoreSilently.value()));
  };
  optAskBeforeRestoring.onClick = actionOption;
  optRestoreSilently.onClick = actionOption;
}

void TabProtection::setHomePageShield(bool on) {
  env_.frame.followOptions();
  optAskBeforeRestoring.setEnabled(on);
  optRestoreSilently.setEnabled(on);
}

void TabProtection::layout(int width, int) {
  const int line = width - 36;
  place(lblMemoryShield, &frmProtection, 16, 16, line, 20);
  place(chkMemoryShield, &frmProtection, 16, 40, 100, 22);
  place(optMemoryShieldOn, &frmProtection, 130, 40, 100, 22);
  place(optMemoryShieldOff, &frmProtection, 240, 40, 100, 22);
  place(lblHomePageShield, &frmProtection, 16, 90, line, 20);
  place(chkHomePageShield, &frmProtection, 16, 114, 100, 22);
  place(optHomePageShieldOn, &frmProtection, 130, 114, 100, 22);
  place(optHomePageShieldOff, &frmProtection, 240, 114, 100, 22);
  place(optAskBeforeRestoring, &frmProtection, 40, 146, 400, 22);
  place(optRestoreSilently, &frmProtection, 40, 172, 400, 22);
}

void TabProtection::load() {
  Settings& settings = env_.session.settings;
  loadOption(settings, keys::optHomePageShieldOn, optHomePageShieldOn);
  chkHomePageShield.setValue(optHomePageShieldOn.value() ? 1 : 0);
  loadOption(settings, keys::optHomePageShieldOff, optHomePageShieldOff);
  loadOption(settings, keys::optAskBeforeRestoring, optAskBeforeRestoring);
  loadOption(settings, keys::optRestoreSilently, optRestoreSilently);
  loadOption(settings, keys::optMemoryShieldOn, optMemoryShieldOn);
  chkMemoryShield.setValue(optMemoryShieldOn.value() ? 1 : 0);
  loadOption(settings, keys::optMemoryShieldOff, optMemoryShieldOff);
}

}  // namespace quillon::ui
