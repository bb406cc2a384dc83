#include "app/init.h"

#include "common/app_state.h"
#include "disk/drive_enumeration.h"
#include "disk/volume_enumeration.h"
#include "platform/system.h"
#include "scan/disk_sector_layer.h"

namespace tarn {

void init_c::run()
{
    launch_disk_tool();
    enumerate_volumes();
    enumerate_drives();
    // Without the sector layer only the FAT engine is unusable; start-up goes on regardless.
    disk_enumerate();
    init_done = 1;
    emit init_finished();
}

} // namespace tarn
