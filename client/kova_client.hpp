// C++ convenience over kova_client.h: a connection that disconnects when it
// goes, and values as std::string. Needs C++11 or later.
#pragma once

#include <string>

#include "kova_client.h"

namespace kova {

class Client {
 public:
  Client() : client_() {}
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  ~Client() { KovaClientDisconnect(&client_); }

  // See KovaClientConnect; an earlier connection is closed first.
  KovaClientResult Connect(unsigned int timeoutMilliseconds = 0) {
    KovaClientDisconnect(&client_);
    return KovaClientConnect(&client_, timeoutMilliseconds);
  }
  bool IsConnected() const { return KovaClientIsConnected(&client_) != 0; }
  void Disconnect() { KovaClientDisconnect(&client_); }

  // The value of the string property `name` (NUL bytes allowed in both);
  // `value` is left empty on failure.
  KovaClientResult GetString(const std::string& name, std::string& value) {
    value.clear();
    char small[256];
    size_t sizeWithNul = 0;
    KovaClientResult result =
        KovaClientGetStringN(&client_, name.data(), name.size(), small, sizeof small, &sizeWithNul);
    if (result == KOVA_CLIENT_OK) {
      value.assign(small, sizeWithNul - 1);
    } else if (result == KOVA_CLIENT_VALUE_TOO_LARGE) {
      // Room for any value the channel carries, not just the size reported:
      // the second answer cannot then be too large, whatever came between.
      std::string large(KOVA_CLIENT_MAX_TEXT_SIZE + 1, '\0');
      result = KovaClientGetStringN(&client_, name.data(), name.size(), &large[0], large.size(),
                                    &sizeWithNul);
      if (result == KOVA_CLIENT_OK) value.assign(large.data(), sizeWithNul - 1);
    }
    return result;
  }

 private:
  KovaClient client_;
};

}  // namespace kova
