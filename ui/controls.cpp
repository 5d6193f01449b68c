#include "ui/controls.h"

#include "common/text.h"

namespace quillon::ui {

Control::Control(Form* form, Kind kind, std::string name, std::string caption)
    : kind_(kind), name_(std::move(name)), caption_(std::move(caption)) {
  if (form) form->registerControl(this);
}

void Control::setCaption(const std::string& c) {
  if (c == caption_) return;
  caption_ = c;
  notify(Change::Caption);
}

void Control::setEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  notify(Change::State);
}

void Control::setVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  notify(Change::State);
}

void CheckBox::setValue(int v) {
  if (v == value_) return;
  value_ = v;
  notify(Change::Value);
  if (onClick) onClick();
}

void OptionButton::setValue(bool v) {
  if (v == value_) return;
  value_ = v;
  notify(Change::Value);
  if (!v) return;
  if (form_) form_->clearGroup(*this);
  if (onClick) onClick();
}

int ListView::add(const std::string& text, int icon) {
  items_.push_back(ListItem{text, {}, icon, false});
  notify(Change::RowAdded, int(items_.size()) - 1);
  return int(items_.size()) - 1;
}

void ListView::setSubItem(int i, int col, const std::string& text) {
  if (i < 0 || i >= count() || col < 1) return;
  auto& sub = items_[size_t(i)].sub;
  if (sub.size() < size_t(col)) sub.resize(size_t(col));
  sub[size_t(col) - 1] = text;
  notify(Change::RowChanged, i);
}

void ListView::setChecked(int i, bool c) {
  if (i < 0 || i >= count() || items_[size_t(i)].checked == c) return;
  items_[size_t(i)].checked = c;
  notify(Change::RowChanged, i);
  if (onItemCheck) onItemCheck(i);
}

void ListView::remove(int i) {
  if (i < 0 || i >= count()) return;
  items_.erase(items_.begin() + i);
  notify(Change::RowRemoved, i);
}

void ListView::clear() {
  if (items_.empty()) return;
  items_.clear();
  notify(Change::Rows);
}

void ListView::setColumnWidth(int col, float twips) {
  if (col < 1 || size_t(col) > columns.size()) return;
  columns[size_t(col) - 1].widthTwips = twips;
  notify(Change::Columns);
}

int ListView::findPrefix(const std::string& prefix) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (istartsWith(items_[i].text, prefix)) return int(i);
  return -1;
}

void ListView::removeChecked() {
  for (int i = 0; i < count();) {
    if (items_[size_t(i)].checked) remove(i);
    else ++i;
  }
}

void ProgressBar::setMax(int m) {
  if (m <= 0 || m == max_) return;
  max_ = m;
  if (value_ > max_) value_ = max_;
  notify(Change::Value);
}

void ProgressBar::setValue(int v) {
  if (v < 0 || v > max_ || v == value_) return;
  value_ = v;
  notify(Change::Value);
}

void ComboBox::setListIndex(int i) {
  if (i < -1 || i >= int(items.size()) || i == index_) return;
  index_ = i;
  notify(Change::Value);
  if (onClick) onClick();
}

void TabStrip::select(int tab) {
  if (tab < 1 || tab > int(tabs.size())) return;
  selected_ = tab;
  notify(Change::Value);
  if (onClick) onClick();
}

Control* Form::find(const std::string& name) const {
  for (Control* c : controls_)
    if (c->name() == name) return c;
  return nullptr;
}

void Form::setCaption(const std::string& c) {
  caption_ = c;
  if (onFormChanged) onFormChanged();
}

void Form::setVisible(bool v) {
  visible_ = v;
  if (onFormChanged) onFormChanged();
  if (v && onResize) onResize();
}

void Form::clearGroup(const OptionButton& except) {
  for (Control* c : controls_) {
    if (c == &except || c->kind() != Kind::Option) continue;
    auto* o = static_cast<OptionButton*>(c);
    if (o->group == except.group && o->value_) {
      o->value_ = false;
      o->notify(Change::Value);
    }
  }
}

}  // namespace quillon::ui
