#include "libs/carve/carve_format.h"

namespace tarn {

const std::vector<const carve_format_s*>& carve_formats()
{
    static const std::vector<const carve_format_s*> formats{&carve_jpeg, &carve_png, &carve_gif, &carve_bmp, &carve_pdf};
    return formats;
}

} // namespace tarn
