#include <gtest/gtest.h>

#include <string>

#include "KestroSystemHelpers.h"

namespace {

std::string encrypted(const char* password) {
  char out[8] = {};
  EXPECT_EQ(vncEncryptPasswd(password, out), 8);
  std::string hex;
  for (unsigned char byte : out) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
  return hex;
}

}  // namespace

// Tests reference vectors computed independently with `openssl enc -des-ecb -nopad -K
// E84AD660C4721AE0` (the VNC key, each byte's bits mirrored): padding with zero bytes,
// empty and null passwords, and only the first 8 characters counting.
TEST(VncPassword, MatchesReferenceVectors) {
  EXPECT_EQ(encrypted("password"), "dbd83cfd727a1458");
  EXPECT_EQ(encrypted("password1234"), "dbd83cfd727a1458");
  EXPECT_EQ(encrypted("12345678"), "f0e43164f6c2e373");
  EXPECT_EQ(encrypted("pass"), "2562d2979f13a743");
  EXPECT_EQ(encrypted(""), "5ab2cdc0badcaf13");
  EXPECT_EQ(encrypted(nullptr), "5ab2cdc0badcaf13");
  EXPECT_EQ(vncEncryptPasswd("password", nullptr), 8);
}
