#include "ui/frm_spyware_found_alert.h"

namespace quillon::ui {

FrmSpywareFoundAlert::FrmSpywareFoundAlert() : Form("Malicious Program Found") {
  width = 380, height = 200;
  style = Style::Dialog;
  topMost = true;  // it answers for a program that is running now: it must not hide
  lblDetected.layout = {14, 12, 352, 20};
  lblFileNameCaption.layout = {14, 42, 100, 20};
  lblAlertFileName.layout = {118, 42, 248, 20};
  lblCompanyNameCaption.layout = {14, 66, 100, 20};
  lblAlertCompanyName.layout = {118, 66, 248, 34};
  lblStopHint.layout = {14, 106, 352, 20};
  lblAllowHint.layout = {14, 128, 352, 20};
  cmdYes.layout = {186, 160, 86, 28};
  cmdNO.layout = {280, 160, 86, 28};
}

}  // namespace quillon::ui
