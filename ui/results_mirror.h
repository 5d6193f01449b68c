// The window's view of the scan results: every change of the model shows in its lists and the
// traces label, and the user's check marks go back to the model, which decides what follows.
#pragma once
#include "controls/controls.h"
#include "scan/scan_results.h"

namespace quillon::ui {

class ResultsMirror : public ResultsObserver {
 public:
  struct Lists {
    controls::ListView &found, &removal, &files, &registry, &cookies;
    controls::Label& traces;
  };
  ResultsMirror(ScanResults& results, Lists lists);
  ~ResultsMirror() override { results_.setObserver(nullptr); }
  ResultsMirror(const ResultsMirror&) = delete;
  ResultsMirror& operator=(const ResultsMirror&) = delete;

  void resultsCleared() override;
  void rowAdded(ResultList list, int row) override;
  void rowChecked(ResultList list, int row, bool checked) override;
  void checkedRowsRemoved(ResultList list) override;
  void tracesChanged(int traces) override;

 private:
  controls::ListView& view(ResultList list);
  ScanResults& results_;
  Lists lists_;
};

}  // namespace quillon::ui
