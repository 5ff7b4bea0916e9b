#pragma once

#include <qmsupport/setup/tarvio_setup.h>

#include "common/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

// Sets an environment variable for the lifetime of the object and restores it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            saved_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (saved_) {
            setenv(name_, saved_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

// A parsed document whose root element a test hands to the setup's readers.
inline std::unique_ptr<XmlDocument> ParseXml(const char* text) {
    auto document = std::make_unique<XmlDocument>();
    EXPECT_TRUE(document->Parse(text)) << text;
    return document;
}
