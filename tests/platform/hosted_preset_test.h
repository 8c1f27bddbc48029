// Test fixture: the plug-in on the offline host, with a fresh application-support folder.
#pragma once

#include <memory>
#include <string>

#include "platform/offline/offline_host.h"
#include "tests/presets/preset_fixture.h"

namespace plumbrook::test {

class HostedPresetTest : public PresetDirTest {
 protected:
  void SetUp() override {
    PresetDirTest::SetUp();
    std::string error;
    host_ = offline::OfflineHost::create({}, error);
    ASSERT_TRUE(host_) << error;
  }
  void TearDown() override {
    host_.reset();
    PresetDirTest::TearDown();
  }
  Plumbrook& plugin() { return host_->plugin(); }

  std::unique_ptr<offline::OfflineHost> host_;
};

}  // namespace plumbrook::test
