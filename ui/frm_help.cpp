#include "ui/frm_help.h"

namespace quillon::ui {

HelpTopics helpTopics(const std::string& text) {
  HelpTopics topics;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 6 && line.compare(0, 3, "== ") == 0 && line.compare(line.size() - 3, 3, " ==") == 0) {
      topics.emplace_back(line.substr(3, line.size() - 6), "");
    } else if (!topics.empty()) {
      std::string& body = topics.back().second;
      if (!body.empty()) body += "\r\n";
      body += line;
    }
  }
  return topics;
}

namespace {
std::vector<std::string> titlesOf(const HelpTopics& topics) {
  std::vector<std::string> titles;
  for (const auto& t : topics) titles.push_back(t.first);
  return titles;
}
}  // namespace

FrmHelp::FrmHelp()
    : Form("Help"), tabTopics(this, "tabTopics", titlesOf(helpTopics(helpText()))), topics_(helpTopics(helpText())) {
  style = Style::Dialog;
  width = 560, height = 460;
  tabTopics.layout = {10, 10, 540, 26};
  txtHelp.layout = {10, 38, 540, 372};
  cmdOk.layout = {460, 420, 90, 28};
  tabTopics.onClick = [this] { tabTopics_Click(); };
  cmdOk.onClick = [this] { setVisible(false); };
}

void FrmHelp::Form_Load(const std::string& productName, const std::string& topic) {
  setCaption(productName + " Help");
  int tab = 1;
  for (size_t i = 0; i < topics_.size(); ++i)
    if (topics_[i].first == topic) tab = int(i) + 1;
  tabTopics.select(tab);
  tabTopics_Click();
}

void FrmHelp::tabTopics_Click() {
  const int i = tabTopics.selected() - 1;
  txtHelp.setText(i >= 0 && size_t(i) < topics_.size() ? topics_[size_t(i)].second : "");
}

}  // namespace quillon::ui
