#pragma once

#include <qmsupport/platform/display_metrics.h>
#include <qmsupport/setup/tarvio_setup.h>

#include "common/temp_dir.h"

#include <string>

// What a page migration needs around it in a test: a temporary directory, a setup whose
// images directory is `images` in it, and the display at its default metrics (96 dpi), which
// are put back at the end.
struct PageMigrationScene {
    explicit PageMigrationScene(const std::string& images)
        : saved(qm::platform::DisplayMetrics::Current()) {
        dir.MakeDirectory(images);
        setup.SetImagesPath(dir.WidePath(images + "/").c_str());
        qm::platform::DisplayMetrics::Set(qm::platform::DisplayMetrics());
    }
    ~PageMigrationScene() { qm::platform::DisplayMetrics::Set(saved); }
    PageMigrationScene(const PageMigrationScene&) = delete;
    PageMigrationScene& operator=(const PageMigrationScene&) = delete;

    TempDir dir;
    QMTarvioSetup setup;
    qm::platform::DisplayMetrics saved;
};
