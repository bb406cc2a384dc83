#pragma once
// Every fixed image path the program's pages and frame use. The per-language images are
// built by the path builders of settings/language.h.

#include <array>
#include <string_view>

namespace tarn {

inline constexpr std::array<std::string_view, 44> resource_images = {
    ":/images/top.ico",
    ":/images/top/logo.png",
    ":/images/background/bai.png",
    ":/images/system/so.png", ":/images/system/sl.png", ":/images/system/sr.png", ":/images/system/su.png",
    ":/images/system/quiButton1.png", ":/images/system/quiButton2.png", ":/images/system/quiButton3.png",
    ":/images/system/maxButton1.png", ":/images/system/maxButton2.png", ":/images/system/maxButton3.png",
    ":/images/system/resumeButton1.png", ":/images/system/resumeButton2.png", ":/images/system/resumeButton3.png",
    ":/images/system/minButton1.png", ":/images/system/minButton2.png", ":/images/system/minButton3.png",
    ":/images/system/settingButton1.png", ":/images/system/settingButton2.png", ":/images/system/settingButton3.png",
    ":/images/home/buttonscan1.png", ":/images/home/buttonscan2.png", ":/images/home/buttonscan3.png",
    ":/images/home/buttonrecovery1.png", ":/images/home/buttonrecovery2.png", ":/images/home/buttonrecovery3.png",
    ":/images/home/wenzi.png",
    ":/images/partition_search/btn_wai_1.png", ":/images/partition_search/btn_wai_2.png",
    ":/images/partition_search/btn_wai_3.png",
    ":/images/partition_search/btn_start_1.png", ":/images/partition_search/btn_start_2.png",
    ":/images/partition_search/btn_start_3.png",
    ":/images/partition_search/check1.png", ":/images/partition_search/check2.png",
    ":/images/partition_search/drives.png",
    ":/images/partition_search/red.png", ":/images/partition_search/green.png",
    ":/images/partition_search/loding_on.png",
    ":/images/partition_search/icon_found1.png",
    ":/images/recovery/folder.png",
    ":/images/recovery/ani.gif",
};

} // namespace tarn
