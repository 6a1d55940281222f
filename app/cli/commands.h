#pragma once
// velora-cli's commands on the line, each bound to its subcommand by the
// argument parser (the commands on data files alone are in show_commands.h).

#include "app/cli/cli.h"

namespace velora::cli::commands {

// --help, of the program or of a command: the text asked for.
int help(const Options& options, const CommandContext& context);
// ports: the ports offered, one a line.
int ports(const Options& options, const CommandContext& context);
// search: the controller's port, or each port tried and why it would not do.
int search(const Options& options, const CommandContext& context);
// version: the controller's firmware version.
int version(const Options& options, const CommandContext& context);
// restart: the controller restarted.
int restart(const Options& options, const CommandContext& context);
// read REGION BASE: REGION read and saved as its data files.
int read(const Options& options, const CommandContext& context);
// write REGION BASE: REGION's data files written to the controller.
int write(const Options& options, const CommandContext& context);
// verify REGION BASE: the controller compared with REGION's data files.
int verify(const Options& options, const CommandContext& context);
// sync [--dry-run] [--backup-dir DIR] REGION BASE: only the blocks of REGION
// that differ from BASE's data files written, after a backup of what the
// controller held.
int sync(const Options& options, const CommandContext& context);
// upgrade [--verify-only] FILE: the firmware installed and verified.
int upgrade(const Options& options, const CommandContext& context);

}  // namespace velora::cli::commands
