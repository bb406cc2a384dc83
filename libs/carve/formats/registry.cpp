#include "libs/carve/carve_format.h"

namespace tarn {

const std::vector<const carve_format_s*>& carve_formats()
{
    static const std::vector<const carve_format_s*> formats{
        &carve_jpeg, &carve_png, &carve_gif, &carve_bmp, &carve_pdf, &carve_zip, &carve_gzip,
        &carve_sqlite, &carve_mp3, &carve_wav, &carve_avi, &carve_mp4, &carve_mov, &carve_elf};
    return formats;
}

} // namespace tarn
