# The program's layers, bottom up, as the table of docs/layout.md gives them: each layer's
# sources and the layers below it that it uses. The product's build and the native fuzz build
# both make their libraries from this one list, so a file is added in one place.
set(QUILLON_LAYERS common platform controls definitions system shell scan removal reports shields update scheduler
    session selftest ui)

set(quillon_common_sources common/text.cpp common/json.cpp common/datetime.cpp common/device_names.cpp)
set(quillon_common_uses)
set(quillon_platform_sources platform/platform.cpp)
set(quillon_platform_uses common)
set(quillon_controls_sources controls/controls.cpp)
set(quillon_controls_uses common)
set(quillon_definitions_sources definitions/line_reader.cpp definitions/cipher.cpp definitions/grammar.cpp
    definitions/folder_tokens.cpp definitions/definition_store.cpp definitions/exclusions.cpp
    definitions/shipped_definitions.cpp)
set(quillon_definitions_uses common platform)
set(quillon_system_sources system/settings.cpp system/system_tasks.cpp system/http_fetch.cpp)
set(quillon_system_uses common platform)
set(quillon_shell_sources shell/app_folder.cpp shell/run_at_startup.cpp shell/server_addresses.cpp shell/tray.cpp
    shell/tray_popup.cpp)
set(quillon_shell_uses common platform controls system)
set(quillon_scan_sources scan/scan_state.cpp scan/company_name.cpp scan/file_scan.cpp scan/registry_scan.cpp
    scan/memory_scan.cpp scan/folder_memory.cpp scan/protected_locations.cpp scan/protected_keys.cpp scan/scan_results.cpp scan/found_summary.cpp
    scan/cookie_scan.cpp scan/drive_walk.cpp scan/scan_run.cpp)
set(quillon_scan_uses common platform definitions system)
set(quillon_removal_sources removal/quarantine.cpp removal/quarantine_index.cpp removal/quarantine_restore.cpp
    removal/quarantine_items.cpp removal/kept_copy.cpp removal/reg_file.cpp removal/removal.cpp removal/removal_run.cpp
    removal/uninstall.cpp)
set(quillon_removal_uses common platform definitions system shell scan)
set(quillon_reports_sources reports/report.cpp reports/data_server.cpp reports/submission.cpp)
set(quillon_reports_uses common platform definitions system scan)
set(quillon_shields_sources shields/memory_shield.cpp shields/home_page_shield.cpp)
set(quillon_shields_uses common platform definitions system scan)
set(quillon_update_sources update/live_update.cpp update/definition_merge.cpp update/update_records.cpp
    update/update_journal.cpp update/signed_update.cpp update/update_run.cpp update/update_windows.cpp)
set(quillon_update_uses common platform definitions system scan)
set(quillon_scheduler_sources scheduler/scheduler.cpp)
set(quillon_scheduler_uses common platform system)
set(quillon_session_sources session/session.cpp session/run_settings.cpp)
set(quillon_session_uses common platform definitions system shell scan removal reports update)
set(quillon_selftest_sources selftest/selftest.cpp selftest/selftest_scanner.cpp)
set(quillon_selftest_uses common platform definitions system scan removal session)
set(quillon_ui_sources ui/frm_report.cpp ui/frm_delete.cpp ui/frm_splash.cpp ui/frm_update_windows.cpp
    ui/frm_main.cpp ui/frm_main_layout.cpp ui/page_status.cpp ui/page_scan.cpp ui/page_results.cpp
    ui/tab_scan_options.cpp ui/tab_schedule.cpp ui/tab_protection.cpp ui/tab_live_update.cpp
    ui/frm_main_update.cpp ui/frm_main_scan.cpp ui/frm_main_settings.cpp
    ui/frm_spyware_found_alert.cpp ui/frm_home_page_changed_alert.cpp ui/frm_main_shields.cpp
    ui/frm_menu_popup.cpp ui/frm_about.cpp ui/frm_help.cpp ui/frm_main_menu.cpp ui/frm_quarantine.cpp ui/results_mirror.cpp)
set(quillon_ui_uses common platform controls definitions system shell scan removal reports shields update scheduler
    session selftest)

# Makes the static library <prefix>_<layer> of each of `layers` (bottom up) from the sources
# below `root`, linked to the libraries of the layers it uses.
function(quillon_add_layers prefix root)
  foreach(layer ${ARGN})
    set(files)
    foreach(f ${quillon_${layer}_sources})
      list(APPEND files ${root}/${f})
    endforeach()
    add_library(${prefix}_${layer} STATIC ${files})
    target_include_directories(${prefix}_${layer} PUBLIC ${root})
    foreach(used ${quillon_${layer}_uses})
      target_link_libraries(${prefix}_${layer} PUBLIC ${prefix}_${used})
    endforeach()
  endforeach()
endfunction()
