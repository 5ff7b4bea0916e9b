#pragma once

// What the migration commands (migrate25, migrate27, upgrade) share: their options, the
// progress line, the summary, the report and the exit statuses. Each command adds its help
// text and names its migration.

#include <qmsupport/install/installation_migration.h>

#include <string>
#include <vector>

struct MigrationCommand {
    const char* name;  // the subcommand, as in "migrate25"
    qm::install::Migration migration;
    const char* target;  // the layout reached, for messages: "2.5" or "2.7"
    const char* usage;   // the whole --help text
    // Offers the 2.5 steps' options: --legacy-screens, --alarms, --no-security, --force and
    // --display.
    bool steps25;
};

// Runs `command` with the arguments after its name; returns the exit status.
int RunMigrationCommand(const MigrationCommand& command, const std::vector<std::string>& args);
