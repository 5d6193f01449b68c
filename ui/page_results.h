// The results page: what the last run found, Select All, Exclude and Delete, and the removal's
// progress. It shows what a removal run tells its host.
#pragma once
#include "removal/removal_run.h"
#include "ui/frm_delete.h"
#include "ui/main_page.h"

namespace quillon::ui {

class PageResults : public RemovalRunHost {
 public:
  // `failures` lists what a removal could not remove.
  PageResults(PageEnv env, FrmDelete& failures);
  void layout(int width, int height);

  void cmdSelectAll_Click();
  void cmdExclude_Click();
  void cmdDelete_Click();  // checks, asks, removes
  void lblRemove_Click();  // the removal itself, without the question
  // After a removal: the bar full, the count, the status page; the progress leaves.
  void showRemovalEnd();
  void showRemovalProgress(bool on);

  // The removal of a scheduled scan: its progress shows, but nothing asks and nothing pops up;
  // what could not be removed stays listed in "Delete Failed" for a later look.
  class UnattendedRemoval : public RemovalRunHost {
   public:
    explicit UnattendedRemoval(PageResults& page) : page_(page) {}
    void showProgress(const std::string& label, int value, int max) override { page_.showProgress(label, value, max); }
    void showItem(const std::string& caption) override { page_.showItem(caption); }
    void deleteFailed(const std::vector<std::string>& paths) override;
    void removalStarted() override { page_.removalStarted(); }
    void stage(const std::string& text) override { page_.stage(text); }

   private:
    PageResults& page_;
  };

  // RemovalRunHost
  void showProgress(const std::string& label, int value, int max) override;
  void showItem(const std::string& caption) override;
  void deleteFailed(const std::vector<std::string>& paths) override;
  void nothingChecked() override;
  bool confirm(const std::string& question, const std::string& title) override;
  void removalStarted() override;
  void stage(const std::string& text) override;
  void refused(const std::string& text) override;

 private:
  void removeChecked(const RemovalOptions& options);
  void excludeChecked();
  int say(const std::string& text, unsigned flags) {
    return env_.frame.messageBox(text, env_.session.branding.productName, flags);
  }
  PageEnv env_;
  FrmDelete& failures_;
  Form* const f_ = &env_.form;

 public:
  Frame frmResults{f_, "frmResults", "Results"};
  Label lblResultsCaption{f_, "lblResultsCaption", "Spyware/Adware Found:"};
  Label lblRemovalCount{f_, "lblRemovalCount", "0"};
  // What the last scheduled scan that removes what it finds did; empty once a scan starts.
  Label lblScheduledRemoval{f_, "lblScheduledRemoval"};
  ListView lvwResults{f_, "lvwResults", {{"Spyware/Adware Found", 1400}, {"Location", 1400}, {"Type", 1400}}, true};
  Button cmdSelectAll{f_, "cmdSelectAll", "Select All"};
  Button cmdExclude{f_, "cmdExclude", "Exclude"};
  Button cmdDelete{f_, "cmdDelete", "Delete"};
  Label lblRemove{f_, "lblRemove", "Remove"};
  ProgressBar pgbRemoval{f_, "pgbRemoval"};
  Label lblRemovalProgress{f_, "lblRemovalProgress"};
  Label lblRemovalItem{f_, "lblRemovalItem"};
};

}  // namespace quillon::ui
