// The editor's tests start as the application does: fonts substituted first.
#include "ZNTUtilities/Fonts.h"

#include <gtest/gtest.h>

namespace {

class EditorEnvironment : public ::testing::Environment {
public:
    void SetUp() override { registerFontSubstitutions(); }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new EditorEnvironment);

}  // namespace
