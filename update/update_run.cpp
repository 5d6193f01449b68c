#include "update/update_run.h"

namespace quillon {

LiveUpdateRunOutcome runLiveUpdate(LiveUpdateRunEnv& env, const LiveUpdateOptions& options) {
  LiveUpdateEnv fetch{env.platform, env.defs,       options.serverBase,    options.product, options.company,
                      env.merge,    env.status,     options.publisherKeys, options.allowUnsigned, env.progress};
  LiveUpdateRunOutcome out;
  StoreLockResult taken = StoreLockResult::Failed;
  // From the first question to the server to the recount: a start, another update or a scan
  // of another program waits for it, or gives up and says so.
  std::unique_ptr<StoreLockHold> hold = env.defs.lock(true, kStoreLockWaitMs, &env.platform.pump, taken);
  if (!hold) {
    out.result.outcome = UpdateOutcome::Busy;
    if (taken != StoreLockResult::Busy) out.result.why = env.defs.path(kDefinitionsLock) + " could not be made";
    out.notice = updateNoticeText(out.result, options.product);
    return out;
  }
  out.result = fetchIncrementalUpdate(fetch);
  if (out.result.outcome == UpdateOutcome::Updated) {
    env.exeList.clear();
    env.counts = env.defs.count();
  }
  out.notice = updateNoticeText(out.result, options.product);
  return out;
}

}  // namespace quillon
