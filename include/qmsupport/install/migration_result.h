#pragma once

#include <qmsupport/export.h>

#include <string>

namespace qm::install {

// How a run of the installation service ended.
enum class Status {
    Done,         // the installation was migrated, recovered or restored (or a dry run ran)
    NothingToDo,  // already migrated, or nothing to recover; nothing was changed
    Refused,      // a check before the run failed; nothing was changed
    Failed,       // the run failed; the installation is as it was before
    Interrupted,  // stopped on request before the swap; the stage was undone
};

// The result of a run: a status and a message for the user. True when the run did what was
// asked or found nothing to do.
struct QMSUPPORT_API Result {
    Status status = Status::Done;
    std::string message;

    explicit operator bool() const {
        return status == Status::Done || status == Status::NothingToDo;
    }
    // The status in words, such as "refused".
    const char* Description() const;
};

}  // namespace qm::install
