// The process-wide set-up the object model needs: the resource catalogue (test archives embedded in
// this executable) and the real UI context with its registries and deferred-call window.
#include <gtest/gtest.h>

#include "host/resource_file_system.h"
#include "dui/context_parts.h"
#include "host/ui_context.h"

namespace {

class DuiEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        files_ = new ResourceFileSystem;
        files_->registerName(L"test_layouts.lz", 201);
        files_->registerName(L"bad_layouts.lz", 202);
        ASSERT_TRUE(createUiContextWithParts());
    }
    void TearDown() override { destroyUiContextWithParts(); }

  private:
    ResourceFileSystem* files_ = nullptr;  // lives to the process end, as the catalogue does
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new DuiEnvironment);

}  // namespace
