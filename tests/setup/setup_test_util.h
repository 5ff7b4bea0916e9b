#pragma once

#include <qmsupport/setup/tarvio_setup.h>

#include "common/scoped_env.h"
#include "common/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>

// A parsed document whose root element a test hands to the setup's readers.
inline std::unique_ptr<XmlDocument> ParseXml(const char* text) {
    auto document = std::make_unique<XmlDocument>();
    EXPECT_TRUE(document->Parse(text)) << text;
    return document;
}
