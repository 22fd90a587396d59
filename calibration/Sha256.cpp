// The SHA-256 of a census for its record: OpenSSL's libcrypto where the runner
// is built with it, the system's own CNG (bcrypt.dll) on Windows, so that the
// Windows build needs no OpenSSL of its own.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

#include "calibration/Calibration.h"

namespace varnolt {

namespace {

constexpr std::size_t DigestBytes = 32;

std::string HexOf(const std::array<unsigned char, DigestBytes>& digest) {
  static const char* const hex = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : digest) {
    text += hex[byte >> 4];
    text += hex[byte & 15];
  }
  return text;
}

#ifdef _WIN32
// Closes what CNG opened, on every way out.
struct CngHandles {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~CngHandles() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};
#endif

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  std::array<unsigned char, DigestBytes> digest{};
#ifdef _WIN32
  CngHandles handles;
  if (BCryptOpenAlgorithmProvider(&handles.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return {};
  if (BCryptCreateHash(handles.algorithm, &handles.hash, nullptr, 0, nullptr, 0, 0) < 0) return {};
  // CNG takes at most 4 GiB at a time.
  constexpr std::size_t chunk = std::size_t{1} << 30;
  for (std::size_t at = 0; at < bytes.size(); at += chunk) {
    const std::string_view part = bytes.substr(at, chunk);
    auto* data = reinterpret_cast<PUCHAR>(const_cast<char*>(part.data()));
    if (BCryptHashData(handles.hash, data, static_cast<ULONG>(part.size()), 0) < 0) return {};
  }
  if (BCryptFinishHash(handles.hash, digest.data(), static_cast<ULONG>(digest.size()), 0) < 0) return {};
#else
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != DigestBytes) {
    return {};
  }
#endif
  return HexOf(digest);
}

}  // namespace varnolt
