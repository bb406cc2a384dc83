#pragma once
// Every key the program looks up in the language table. The shipped language file is checked
// against this list, so a page that starts using a new key adds it here.

#include <array>
#include <string_view>

namespace tarn {

inline constexpr std::array<std::string_view, 105> language_keys = {
    "startup_warning", "main_warning1", "main_warning2", "back_warning", "quit_warning",
    "language_warning", "menu_help", "menu_exit", "home_text1", "home_text2", "home_text3",
    "drive_physical_drives", "btn_scan", "btn_refresh", "btn_back", "volume_logical_drives",
    "drive_size", "partition_fs", "local_disk", "recovery_free", "volume_select",
    "scan_nosel_warning", "partition_number", "partition_ss", "partition_es", "partition_text1",
    "partition_query", "partition_finished", "partition_failed",
    "partition_table_now", "partition_table_new", "partition_table_none", "partition_type",
    "partition_entry_empty", "partition_entry_kept", "partition_entry_replaced", "partition_entry_lost",
    "partition_backup", "btn_start", "btn_stop",
    "btn_repair", "recovery_name", "recovery_date1", "recovery_date2", "btn_pause", "btn_resume",
    "btn_recovery", "btn_save_result", "raw_progress", "recovery_reading",
    "recovery_total_files", "deep_scan_query", "engine_unavailable", "scan_fs_unreadable", "orphan_files", "scan_file_failed", "recovery_select", "recovery_check_warning",
    "recovery_same_volume_warning", "recovery_extracting", "recovery_summary", "recovery_summary_stopped",
    "recovery_failed_names", "btn_open_folder", "recovery_target_unwritable", "scan_stopped", "scan_nothing_found",
    "recover_this_folder", "preview_type", "preview_size", "partition_drive", "partition_nothing_found",
    "partition_search_stopped", "partition_disk_silent", "menu_open_image", "btn_open_image", "recent_images", "image_open_failed",
    "image_files", "all_files",
    "volume_whole_disk", "volume_free_space",
    "recovery_show_live", "partition_scan_files", "partition_deep_scan",
    "partition_table_kind", "partition_table_kind_none", "partition_table_sound", "partition_query_gpt",
    "partition_gpt_restore_primary", "partition_gpt_restore_backup", "partition_gpt_protective", "partition_gpt_new",
    "partition_gpt_why_large", "partition_gpt_why_find", "partition_gpt_left_out", "partition_sectors_written",
    "partition_backup_sectors", "partition_gpt_basic_data", "partition_gpt_linux_data", "partition_gpt_linux_swap",
    "partition_gpt_efi_system", "volume_lost_search", "lost_search_query", "recovery_overwritten",
};

} // namespace tarn
