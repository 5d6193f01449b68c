#include "removal/removal_run.h"

#include "definitions/definition_store.h"

namespace quillon {

namespace {
constexpr const char* LB = "\r\n";
}

std::string RemovalRun::question() const {
  std::string q = std::string("Are you sure you want to delete the selected files?") + LB + LB +
                  "Deleted files will be backed up in the following folder in case you need to recover them:" + LB +
                  LB + env_.appFolder + "\\" + kQuarantineFolder;
  if (isSystemRestoreAvailable(env_.platform.processes.osVersion()))
    q += std::string(LB) + LB +
         "In addition, a System Restore Point will be created using Windows System Restore, accessible "
         "through:" + LB + LB + "Start > Programs > Accessories > System Tools > System Restore";
  return q;
}

RemovalRunOutcome RemovalRun::run(const RemovalOptions& options) {
  RemovalRunOutcome out;
  Platform& p = env_.platform;
  if (options.needChecked) {
    bool any = false;
    for (int i = 0; i < env_.results.removalCount() && !any; ++i) any = env_.results.removalRow(i).checked;
    if (!any) {
      host_.nothingChecked();
      return out;
    }
  }
  if (options.ask && !host_.confirm(question(), "Really Delete?")) return out;

  BusyMark busy(p.instanceLock, options.productName);  // other processes see the run
  // One writer of the quarantine at a time, across programs, for the whole run: ids, the index
  // and the copies are decided under the lock. It is taken before the restore point, so that a
  // run that must give way changes nothing at all.
  Quarantine quarantine(p, env_.appFolder);
  const StoreLockResult lock = quarantine.lock(&p.pump);
  if (lock != StoreLockResult::Taken) {
    out.refused = quarantine.lockProblem(lock, options.productName);
    out.items = nothingRemoved(env_.results, lock == StoreLockResult::Busy
                                                 ? "another " + options.productName + " was busy with the quarantine"
                                                 : "the quarantine could not be used");
    host_.refused(out.refused);
    return out;
  }
  out.ran = true;
  host_.removalStarted();
  host_.stage("Gathering information...");
  // Gives the window time to show the page before the passes begin.
  for (int i = 0; i < 20001; ++i) p.pump.yield();
  host_.stage("");

  ProtectedLocations protectedLocations(p, env_.appFolder);
  Removal removal(RemovalEnv{p, env_.results, quarantine, protectedLocations, env_.own, host_});
  RestorePointStart point = RestorePointStart::Failed;
  if (isSystemRestoreAvailable(p.processes.osVersion())) {
    host_.stage("Creating Restore Point...");
    p.pump.yield();
    // A point already open takes this removal in, and is ended by whoever opened it.
    point = env_.restorePoints.start(options.productName + " Restore Point " + p.clock.nowText(), 6);
  }
  out.items = removal.run();
  if (point == RestorePointStart::Started) env_.restorePoints.end();
  env_.results.removeRemovedRows();
  host_.showItem("");
  host_.stage("100% complete");
  return out;
}

}  // namespace quillon
