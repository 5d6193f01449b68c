#include "ui/frm_about.h"

namespace quillon::ui {

FrmAbout::FrmAbout() : Form("About") {
  style = Style::Dialog;
  width = 340, height = 196;
  lblProduct.layout = {20, 18, 300, 22};
  lblDescription.layout = {20, 44, 300, 20};
  lblVersion.layout = {20, 76, 300, 20};
  lblCompany.layout = {20, 100, 300, 20};
  lblWebsite.layout = {20, 124, 300, 20};
  cmdOk.layout = {230, 154, 90, 28};
  cmdOk.onClick = [this] { setVisible(false); };
}

void FrmAbout::Form_Load(const Branding& b) {
  setCaption("About " + b.productName);
  lblProduct.setCaption(b.productName);
  lblVersion.setCaption("Version " + std::to_string(b.major) + "." + std::to_string(b.minor));
  lblCompany.setCaption("Copyright (C) " + b.companyName);
  // The version information holds the bare domain; people type it with "www.".
  lblWebsite.setCaption(b.webSite.empty() ? "" : "www." + b.webSite);
}

}  // namespace quillon::ui
