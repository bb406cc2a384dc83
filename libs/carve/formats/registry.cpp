#include "libs/carve/carve_format.h"

namespace tarn {

// Where two types share a pattern, the one tried first claims the file: the camera raw files come
// before TIFF, the still images in ISO boxes before the movies, WebP before WAV and AVI.
const std::vector<const carve_format_s*>& carve_formats()
{
    static const std::vector<const carve_format_s*> formats{
        &carve_jpeg, &carve_png, &carve_gif, &carve_bmp, &carve_cr2, &carve_nef, &carve_arw, &carve_dng,
        &carve_tiff, &carve_heic, &carve_avif, &carve_webp, &carve_ico, &carve_psd, &carve_pdf, &carve_zip,
        &carve_rar, &carve_7z, &carve_gzip, &carve_bzip2, &carve_xz, &carve_tar, &carve_sqlite, &carve_ole,
        &carve_rtf, &carve_mp3, &carve_flac, &carve_ogg, &carve_wav, &carve_avi, &carve_mp4, &carve_mov,
        &carve_mkv, &carve_flv, &carve_ts, &carve_elf, &carve_exe, &carve_class, &carve_xml, &carve_html,
        &carve_json, &carve_txt};
    return formats;
}

} // namespace tarn
