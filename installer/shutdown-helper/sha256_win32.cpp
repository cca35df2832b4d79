#include "installer/shutdown-helper/sha256_win32.hpp"

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <span>
#include <utility>
#include <vector>

#include "installer/shutdown-helper/constants.hpp"
#include "installer/shutdown-helper/path_key_win32.hpp"
#include "installer/shutdown-helper/texts.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/system_library.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::haltgate {
namespace {

using vorlane::win32::last_system_error_text;
using vorlane::win32::to_wide;
using vorlane::win32::unique_handle;

// bcrypt.dll is no KnownDLL; it is loaded from the system folder when a hash is needed.
class Cng {
 public:
  static std::expected<Cng, std::string> load() {
    auto library = vorlane::win32::SystemLibrary::load(L"bcrypt.dll");
    if (!library) {
      return std::unexpected(library.error());
    }
    Cng cng(std::move(*library));
    const auto& dll = cng.library_;
    if (!dll.find(cng.open_algorithm, "BCryptOpenAlgorithmProvider") ||
        !dll.find(cng.close_algorithm, "BCryptCloseAlgorithmProvider") ||
        !dll.find(cng.create_hash, "BCryptCreateHash") || !dll.find(cng.hash_data, "BCryptHashData") ||
        !dll.find(cng.finish_hash, "BCryptFinishHash") || !dll.find(cng.destroy_hash, "BCryptDestroyHash")) {
      return std::unexpected(last_system_error_text());
    }
    return cng;
  }

  decltype(&::BCryptOpenAlgorithmProvider) open_algorithm = nullptr;
  decltype(&::BCryptCloseAlgorithmProvider) close_algorithm = nullptr;
  decltype(&::BCryptCreateHash) create_hash = nullptr;
  decltype(&::BCryptHashData) hash_data = nullptr;
  decltype(&::BCryptFinishHash) finish_hash = nullptr;
  decltype(&::BCryptDestroyHash) destroy_hash = nullptr;

 private:
  explicit Cng(vorlane::win32::SystemLibrary library) : library_(std::move(library)) {}

  vorlane::win32::SystemLibrary library_;
};

// One SHA-256 computation: the algorithm and hash handles, released through the library they
// came from, the hash first.
class Sha256 {
 public:
  explicit Sha256(const Cng& cng) : cng_(cng) {}
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  ~Sha256() {
    if (hash_ != nullptr) cng_.destroy_hash(hash_);
    if (algorithm_ != nullptr) cng_.close_algorithm(algorithm_, 0);
  }
  NTSTATUS open() {
    const NTSTATUS status = cng_.open_algorithm(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (status < 0) {
      return status;
    }
    return cng_.create_hash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0);
  }
  NTSTATUS add(std::uint8_t* bytes, DWORD size) { return cng_.hash_data(hash_, bytes, size, 0); }
  NTSTATUS finish(std::span<std::uint8_t> digest) {
    return cng_.finish_hash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0);
  }

 private:
  const Cng& cng_;
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

std::expected<std::string, std::string> FileDigestsWin32::sha256_file(const std::string& path) {
  const auto cng = Cng::load();
  if (!cng) {
    return std::unexpected(cng.error());
  }
  Sha256 hash(*cng);
  NTSTATUS status = hash.open();
  if (status < 0) {
    return std::unexpected(sha256_status_text(status));
  }
  const unique_handle file(::CreateFileW(to_wide(path).c_str(), GENERIC_READ, share_all, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return std::unexpected(last_system_error_text());
  }
  std::vector<std::uint8_t> chunk(hash_read_size);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) {
      return std::unexpected(last_system_error_text());
    }
    if (read == 0) {
      break;
    }
    status = hash.add(chunk.data(), read);
    if (status < 0) {
      return std::unexpected(sha256_status_text(status));
    }
  }
  std::array<std::uint8_t, 32> digest{};
  status = hash.finish(digest);
  if (status < 0) {
    return std::unexpected(sha256_status_text(status));
  }
  return hex_digest(digest);
}

}  // namespace vorlane::haltgate
