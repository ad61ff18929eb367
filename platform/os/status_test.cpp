#include "os/status.h"

#include <gtest/gtest.h>

namespace os {
namespace {

TEST(StatusTest, TextIsInTheUsersLanguageWithTheDetail) {
  const Status missing(error::kDllNotFound, QStringLiteral("/opt/Tallimoor/bin/kq61.so"));
  EXPECT_EQ(missing.text(1), QStringLiteral("The library was not found. (/opt/Tallimoor/bin/kq61.so)"));
  EXPECT_EQ(missing.text(2), QStringLiteral("La bibliothèque est introuvable. (/opt/Tallimoor/bin/kq61.so)"));
  EXPECT_EQ(Status(4242, {}).text(2), QStringLiteral("Erreur 4242."));
  EXPECT_TRUE(Status::Ok().ok());
  EXPECT_FALSE(missing.ok());
}

}  // namespace
}  // namespace os
