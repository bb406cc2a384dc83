#include "app/init.h"

#include "app/app_state.h"
#include "disk/drive_enumeration.h"
#include "disk/volume_enumeration.h"
#include "platform/system.h"

namespace tarn {

void init_c::run()
{
    launch_disk_tool();
    enumerate_volumes();
    enumerate_drives();
    init_done = 1;
    emit init_finished();
}

} // namespace tarn
