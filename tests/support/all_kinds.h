// A form with one control of every kind, as the alerts and notices are built: what the window
// tests make and destroy, and what bench_gui_forms times.
#pragma once
#include <initializer_list>

#include "controls/controls.h"

namespace quillon::test {

struct AllKinds : controls::Form {
  AllKinds() : controls::Form("All kinds") {
    width = 420, height = 300;
    tabs.layout = {10, 10, 400, 200};
    fra.layout = {20, 40, 380, 160};
    fra.container = &tabs;
    chk.layout = {10, 20, 150, 22};
    opt1.layout = {10, 46, 150, 22};
    opt2.layout = {10, 72, 150, 22};
    lvw.layout = {170, 20, 200, 100};
    cmb.layout = {10, 100, 150, 120};
    dtp.layout = {10, 128, 150, 24};
    for (controls::Control* c : std::initializer_list<controls::Control*>{&chk, &opt1, &opt2, &lvw, &cmb, &dtp})
      c->container = &fra;
    lbl.layout = {10, 220, 300, 20};
    txt.layout = {10, 244, 200, 44};
    prg.layout = {220, 244, 190, 18};
    shp.layout = {380, 220, 10, 10};
    pic.layout = {340, 220, 30, 30};
    cmdOk.layout = {320, 266, 90, 26};
    cmdOk.onClick = [this] { ++clicks; };
    chk.onClick = [this] { ++checkClicks; };
    tmr.onTick = [this] { ++ticks; };
    mnuHide.onClick = [this] { ++menuClicks; };
    dtp.onChange = [this] { ++dateChanges; };
  }
  controls::TabStrip tabs{this, "tabs", {"General", "Details"}};
  controls::Frame fra{this, "fra", "Options"};
  controls::CheckBox chk{this, "chk", "Remember"};
  controls::OptionButton opt1{this, "opt1", "Now", 1};
  controls::OptionButton opt2{this, "opt2", "Later", 1};
  controls::ListView lvw{this, "lvw", {{"Name", 1500}, {"Where", 1500}}, true};
  controls::ComboBox cmb{this, "cmb", {"Daily", "Weekly", "Monthly"}};
  controls::DatePicker dtp{this, "dtp", false};
  controls::Label lbl{this, "lbl", "Ready."};
  controls::TextBox txt{this, "txt"};
  controls::ProgressBar prg{this, "prg"};
  controls::Shape shp{this, "shp"};
  controls::Picture pic{this, "pic", 8};
  controls::Timer tmr{this, "tmr", 10, true};
  controls::Button cmdOk{this, "cmdOk", "OK"};
  controls::MenuItem mnuHide{this, "mnuHide", "Hide", "File"};
  controls::MenuItem mnuHelp{this, "mnuHelp", "About", "Help"};
  int clicks = 0, checkClicks = 0, ticks = 0, menuClicks = 0, dateChanges = 0;
};

}  // namespace quillon::test
