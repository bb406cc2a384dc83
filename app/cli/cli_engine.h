#pragma once
// Running a scanning engine from the command line: its progress on a terminal, its failure said.

#include "app/cli/cli_command.h"

namespace tarn {

class recovery_base_c;
struct volume_item_s;

// The arguments "ROW [--recover DIR]" of a scanning command: the row of 'volumes', or DISK:FIND,
// a partition that the search of the disk at row DISK of 'drives' found (the index 'partitions'
// prints), read without writing anything. Its volume in volume, the folder in recover_dir, the
// argument itself in name; 0, or -1 after a message on err (bad usage), -2 after one when DIR lies
// on that volume or the disk could not be searched.
int cli_volume_arguments(cli_context_s& ctx, const QStringList& args, const char* command, const char* usage,
                         volume_item_s& volume, QString& recover_dir, QString& name);

// Whether files may be recovered into dir from volume: not onto the volume itself, whose free
// space holds what is being recovered (a message on err says so). An empty dir is allowed.
bool cli_target_allowed(cli_context_s& ctx, const char* command, const QString& dir, const volume_item_s& volume);

// Runs the engine to its end; cli_ok, or cli_failed with the reason on standard error when the
// scan could not read its volume. command and name (the volume's argument) go into the message.
int cli_run_engine(cli_context_s& ctx, recovery_base_c& engine, const char* command, const QString& name);

} // namespace tarn
