// vncEncryptPasswd: the password form of VNC authentication, on nettle's DES.
#include <nettle/des.h>
#include <stdint.h>

#include "KestroSystemHelpers.h"

namespace {

// The fixed key of the published VNC password scheme.
const uint8_t kVncKey[DES_KEY_SIZE] = {23, 82, 107, 6, 35, 78, 88, 7};

// VNC reads each key byte least significant bit first, the mirror of the DES bit order.
uint8_t mirrored(uint8_t byte) {
  uint8_t result = 0;
  for (int bit = 0; bit < 8; ++bit, byte >>= 1) result = static_cast<uint8_t>(result << 1 | (byte & 1));
  return result;
}

}  // namespace

int vncEncryptPasswd(const char* passwd, char* encryptedPasswd) {
  if (encryptedPasswd == nullptr) return 8;
  uint8_t block[DES_BLOCK_SIZE] = {};
  for (int i = 0; passwd != nullptr && i < DES_BLOCK_SIZE && passwd[i] != '\0'; ++i)
    block[i] = static_cast<uint8_t>(passwd[i]);
  uint8_t key[DES_KEY_SIZE];
  for (int i = 0; i < DES_KEY_SIZE; ++i) key[i] = mirrored(kVncKey[i]);
  des_ctx context;
  des_set_key(&context, key);  // answers 0 only for weak keys, which this one is not
  des_encrypt(&context, DES_BLOCK_SIZE, reinterpret_cast<uint8_t*>(encryptedPasswd), block);
  return 8;
}
