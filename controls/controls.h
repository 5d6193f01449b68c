// Headless controls: plain objects holding what the program reads and writes. The GUI binds
// them to real windows (an observer mirrors each change and turns user actions into the same
// calls); tests drive them directly. Setting a check box or option button from code runs its
// click handler exactly as a user's click does: start-up relies on that.
#pragma once
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillon::controls {

class Control;
class Form;

// What changed, so that a bound window can update only that.
enum class Change { State, Caption, Value, Rows, RowAdded, RowRemoved, RowChanged, Columns, Layout };

class ControlObserver {
 public:
  virtual ~ControlObserver() = default;
  virtual void changed(Control& c, Change what, int row) = 0;
};

// Where a control sits inside its container (a page, a tab frame or the form).
// Places and sizes are in design units: the pixels of a 96-DPI screen. The window host scales
// them to the system's DPI, so forms never deal with it.
struct Layout {
  int x = 0, y = 0, w = 0, h = 0;
};

enum class Kind { Button, CheckBox, Option, Label, ListView, Progress, Timer, TextBox, Frame, ComboBox,
                  DatePicker, TabStrip, MenuItem, Shape, Picture };

class Control {
 public:
  Control(Form* form, Kind kind, std::string name, std::string caption = "");
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  Kind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  const std::string& caption() const { return caption_; }
  void setCaption(const std::string& c);
  bool enabled() const { return enabled_; }
  void setEnabled(bool e);
  bool visible() const { return visible_; }
  void setVisible(bool v);

  // Presentation: where the GUI puts the control and in which container. A bound control
  // moves when its place is set again (the window was resized).
  Layout layout;
  void setLayout(const Layout& l);
  Control* container = nullptr;
  std::string toolTip;

  void setObserver(ControlObserver* o) { observer_ = o; }
  ControlObserver* observer() const { return observer_; }

 protected:
  void notify(Change what, int row = -1) {
    if (observer_) observer_->changed(*this, what, row);
  }

 private:
  Kind kind_;
  std::string name_, caption_;
  bool enabled_ = true, visible_ = true;
  ControlObserver* observer_ = nullptr;
};

// A button, a clickable label or a menu item: click() is the user's press.
class Button : public Control {
 public:
  using Control::Control;
  Button(Form* f, std::string name, std::string caption) : Control(f, Kind::Button, std::move(name), std::move(caption)) {}
  std::function<void()> onClick;
  // A user can press only an enabled, visible control.
  void click() {
    if (enabled() && visible() && onClick) onClick();
  }
  // A press with Shift held: onShiftPress runs first, then the press goes on as a click.
  std::function<void()> onShiftPress;
  void shiftClick() {
    if (!enabled() || !visible()) return;
    if (onShiftPress) onShiftPress();
    click();
  }
};

class Label : public Button {
 public:
  Label(Form* f, std::string name, std::string caption = "") : Button(f, Kind::Label, std::move(name), std::move(caption)) {}
};

class MenuItem : public Button {
 public:
  MenuItem(Form* f, std::string name, std::string caption, std::string menu)
      : Button(f, Kind::MenuItem, std::move(name), std::move(caption)), menu(std::move(menu)) {}
  std::string menu;  // caption of the menu bar entry that holds it
  // A line between groups of items: it counts as an item but is never chosen.
  bool separator() const { return caption() == "-"; }
};

class CheckBox : public Control {
 public:
  // `initial` is the state the box is designed with; it runs no handler.
  CheckBox(Form* f, std::string name, std::string caption, int initial = 0)
      : Control(f, Kind::CheckBox, std::move(name), std::move(caption)), value_(initial) {}
  int value() const { return value_; }
  // Changing the value runs the click handler, as in a user click; the same value does not.
  void setValue(int v);
  // A user's click: the value changes (running onClick), then the mouse button comes up.
  void click() {
    if (!enabled() || !visible()) return;
    setValue(value_ ? 0 : 1);
    if (onMouseUp) onMouseUp();
  }
  std::function<void()> onClick;
  // Only the user's click reaches it, never a change made by code.
  std::function<void()> onMouseUp;

 private:
  int value_ = 0;
};

// Option buttons of one group exclude each other.
class OptionButton : public Control {
 public:
  OptionButton(Form* f, std::string name, std::string caption, int group)
      : Control(f, Kind::Option, std::move(name), std::move(caption)), group(group) {
    form_ = f;
  }
  bool value() const { return value_; }
  // Selecting runs the click handler and clears the others of the group; clearing runs nothing.
  void setValue(bool v);
  void click() {
    if (enabled() && visible()) setValue(true);
  }
  std::function<void()> onClick;
  const int group;

 private:
  friend class Form;
  bool value_ = false;
  Form* form_ = nullptr;
};

struct ListItem {
  std::string text;
  std::vector<std::string> sub;  // column texts 1..n, stored from index 0
  int icon = 0;
  bool checked = false;
  const std::string& subItem(int col) const {
    static const std::string empty;
    return col >= 1 && size_t(col) <= sub.size() ? sub[col - 1] : empty;
  }
};

struct Column {
  std::string header;
  float widthTwips = 1400;
  // The user's width (dragged, or read from the settings): sharing the list's width among its
  // columns leaves this one as it is.
  bool userSized = false;
};

class ListView : public Control {
 public:
  ListView(Form* f, std::string name, std::vector<Column> cols = {}, bool checkBoxes = false)
      : Control(f, Kind::ListView, std::move(name)), columns(std::move(cols)), checkBoxes(checkBoxes) {}
  std::vector<Column> columns;
  const bool checkBoxes;

  int count() const { return int(items_.size()); }
  // A row outside the list reads as an empty, unchecked row: a walk that outlived a change of
  // the list must never read past its end.
  const ListItem& item(int i) const;
  const std::vector<ListItem>& items() const { return items_; }
  int add(const std::string& text, int icon = 0);
  void setSubItem(int i, int col, const std::string& text);
  // Changing a check mark runs onItemCheck, as the user's click on the box does, unless
  // `runHandler` is false.
  void setChecked(int i, bool c, bool runHandler = true);
  void remove(int i);
  void clear();
  // col counts from 1. A width other than the column's present one makes it the user's.
  void setColumnWidth(int col, float twips);
  // The window shares its width among the columns the user has not sized, by what they hold;
  // a width set by the user or read from the settings is kept as it is. Without sharing, the
  // columns keep their designed widths. Either way the last column reaches the list's edge.
  bool fitColumns = false;
  // First row whose text begins with `prefix`, compared without case; -1 when none.
  int findPrefix(const std::string& prefix) const;
  // Rows, in order, in which any of the columns `cols` (0 is the row text) holds exactly `value`.
  std::vector<int> rowsWith(const std::string& value, std::initializer_list<int> cols) const;
  // Removes every checked row, examining the same position again after each removal.
  void removeChecked();
  std::function<void(int)> onItemCheck;

 private:
  std::vector<ListItem> items_;
  // Lookup indexes, so that a search costs the same however many rows the list holds. Each is
  // built on its first query and kept up to date as rows are added or changed; a removal
  // shifts row numbers, so it drops them and the next query rebuilds.
  using Rows = std::vector<int>;  // ascending
  mutable bool prefixIndexed_ = false;
  // Upper-cased text -> its first row: rows are only appended while the index lives, so the
  // first row of a text never changes.
  mutable std::map<std::string, int> prefixIndex_;
  // Where the last prefix searched for would go: a row added next with that text (the scan
  // asks, then adds) goes in there without a second search.
  mutable std::string lastPrefix_;
  mutable std::map<std::string, int>::iterator lastPrefixAt_;
  mutable std::map<int, std::unordered_map<std::string, Rows>> cellIndex_;  // column -> cell text -> rows
  const Rows& cellRows(int col, const std::string& value) const;
  void dropIndexes();
};

// Widths for columns that need `needs` pixels each in `available` pixels. When all fit, the room
// left is shared in proportion to the needs; when not, a column needing less than an even share
// of what is left gets all it needs and the wider ones split the rest evenly, so a short column
// is never cut to make room for a long one.
std::vector<int> shareWidth(const std::vector<int>& needs, int available);

class ProgressBar : public Control {
 public:
  ProgressBar(Form* f, std::string name) : Control(f, Kind::Progress, std::move(name)) {}
  int max() const { return max_; }
  int value() const { return value_; }
  void setMax(int m);
  // A value outside 0..max is not valid for the bar and leaves it unchanged.
  void setValue(int v);

 private:
  int max_ = 100, value_ = 0;
};

class Timer : public Control {
 public:
  Timer(Form* f, std::string name, int intervalMs, bool enabledAtStart)
      : Control(f, Kind::Timer, std::move(name)), interval(intervalMs) {
    setEnabled(enabledAtStart);
  }
  const int interval;
  std::function<void()> onTick;
  void tick() {
    if (enabled() && onTick) onTick();
  }
};

class TextBox : public Control {
 public:
  // A box the user types into (one line), or one that only shows text (several lines).
  TextBox(Form* f, std::string name, bool editable = false)
      : Control(f, Kind::TextBox, std::move(name)), editable(editable) {}
  const bool editable;
  const std::string& text() const { return caption(); }
  void setText(const std::string& t) { setCaption(t); }
  // A character the user typed (13 for Enter), after the text took it.
  std::function<void(int key)> onKeyPress;
};

class Frame : public Control {
 public:
  Frame(Form* f, std::string name, std::string caption = "") : Control(f, Kind::Frame, std::move(name), std::move(caption)) {}
};

class Shape : public Control {
 public:
  Shape(Form* f, std::string name) : Control(f, Kind::Shape, std::move(name)) {}
  void moveTo(int x, int y) { setLayout({x, y, layout.w, layout.h}); }
};

// A picture that moves: the window draws frame `frame()` of `frames`, each made from the
// program's own icon.
class Picture : public Control {
 public:
  Picture(Form* f, std::string name, int frames) : Control(f, Kind::Picture, std::move(name)), frames(frames) {}
  const int frames;
  int frame() const { return frame_; }
  void setFrame(int f) {
    if (f < 0 || f >= frames || f == frame_) return;
    frame_ = f;
    notify(Change::Value);
  }
  void nextFrame() { setFrame((frame_ + 1) % frames); }

 private:
  int frame_ = 0;
};

class ComboBox : public Control {
 public:
  ComboBox(Form* f, std::string name, std::vector<std::string> items)
      : Control(f, Kind::ComboBox, std::move(name)), items(std::move(items)) {}
  const std::vector<std::string> items;
  int listIndex() const { return index_; }
  void setListIndex(int i);
  std::function<void()> onClick;

 private:
  int index_ = -1;
};

class DatePicker : public Control {
 public:
  DatePicker(Form* f, std::string name, bool timeOnly) : Control(f, Kind::DatePicker, std::move(name)), timeOnly(timeOnly) {}
  const bool timeOnly;
  // The value as the program's date-time text; empty means no date (a null value).
  const std::string& value() const { return caption(); }
  void setValue(const std::string& v) { setCaption(v); }
  // The user's change in the window: the new value, then onChange. A change by code runs nothing.
  void change(const std::string& v) {
    setValue(v);
    if (onChange) onChange();
  }
  std::function<void()> onChange;
};

class TabStrip : public Control {
 public:
  TabStrip(Form* f, std::string name, std::vector<std::string> tabs)
      : Control(f, Kind::TabStrip, std::move(name)), tabs(std::move(tabs)) {}
  const std::vector<std::string> tabs;
  int selected() const { return selected_; }  // 1-based, as the tab strip counts
  void select(int tab);
  std::function<void()> onClick;

 private:
  int selected_ = 1;
};

// A window: an ordered set of named controls. The GUI creates its window from this list.
class Form {
 public:
  explicit Form(std::string caption) : caption_(std::move(caption)) {}
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  virtual ~Form() {
    std::function<void()> gone;
    gone.swap(onFormGone);
    if (gone) gone();
  }

  const std::vector<Control*>& controls() const { return controls_; }
  Control* find(const std::string& name) const;
  const std::string& caption() const { return caption_; }
  void setCaption(const std::string& c);
  bool visible() const { return visible_; }
  void setVisible(bool v);
  // A disabled window takes no input, as a window under a modal dialog.
  bool enabled() const { return enabled_; }
  void setEnabled(bool e) {
    enabled_ = e;
    if (onFormChanged) onFormChanged();
  }
  int width = 640, height = 480;  // client size in design units (see Layout)
  // Where the window sits on the screen, in design units; -1 leaves the place to the system.
  int left = -1, top = -1;
  void moveTo(int x, int y) {
    left = x;
    top = y;
    if (onFormChanged) onFormChanged();
  }
  // How the window is framed, fixed when it is made. Dialog: a caption and a close box, no
  // resizing. Popup: no caption, above every other window, and never takes the focus from
  // what the user is doing (notices and the tray popup).
  enum class Style { Normal, Dialog, Popup };
  Style style = Style::Normal;
  bool topMost = false;  // stays above other windows (alerts)
  enum class State { Normal, Minimized, Maximized };
  State windowState() const { return state_; }
  void setWindowState(State s) {
    state_ = s;
    if (onFormChanged) onFormChanged();
    if (onResize) onResize();
  }
  // The user changed the state in the window itself: only the form's own handler runs.
  void windowStateChanged(State s) {
    state_ = s;
    if (onResize) onResize();
  }
  // The user gave the window a new client size (dragging its border, maximising, restoring).
  void clientResized(int w, int h) {
    width = w;
    height = h;
    if (onResize) onResize();
  }
  // The smallest client size the user can drag the window to; 0 leaves it to the system.
  int minWidth = 0, minHeight = 0;
  // Runs whenever the window is shown, resized, minimised, maximised or restored.
  std::function<void()> onResize;
  bool showInTaskbar() const { return taskbar_; }
  void setShowInTaskbar(bool b) {
    taskbar_ = b;
    if (onFormChanged) onFormChanged();
  }
  // Set by the GUI to mirror caption and visibility changes of the window itself.
  std::function<void()> onFormChanged;
  // Set by the GUI: a form destroyed while it has a window takes that window with it. It runs
  // when the form's own controls are already gone.
  std::function<void()> onFormGone;
  // A mouse action on the form's notification-area icon, as the window message number
  // (513 left button down, 515 left double-click, 516 right button down, 518 right double-click).
  std::function<void(int)> onTrayMouse;
  // The mouse moved over the form or one of its controls.
  std::function<void()> onMouseMove;

  void registerControl(Control* c) { controls_.push_back(c); }
  void clearGroup(const OptionButton& except);

 private:
  std::string caption_;
  bool visible_ = false;
  bool enabled_ = true;
  State state_ = State::Normal;
  bool taskbar_ = true;
  std::vector<Control*> controls_;
};

}  // namespace quillon::controls
