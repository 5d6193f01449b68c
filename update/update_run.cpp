#include "update/update_run.h"

namespace quillon {

LiveUpdateRunOutcome runLiveUpdate(LiveUpdateRunEnv& env, const LiveUpdateOptions& options) {
  LiveUpdateEnv fetch{env.platform, env.defs,       options.serverBase,    options.product, options.company,
                      env.merge,    env.status,     options.publisherKeys, options.allowUnsigned};
  LiveUpdateRunOutcome out;
  out.result = fetchIncrementalUpdate(fetch);
  if (out.result.outcome == UpdateOutcome::Updated) {
    env.exeList.clear();
    env.counts = env.defs.count();
  }
  out.notice = updateNoticeText(out.result, options.product);
  return out;
}

}  // namespace quillon
