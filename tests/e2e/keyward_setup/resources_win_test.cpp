// The version information, icon and manifest built into Keyward.exe.
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "src/common/version.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

std::wstring version_string(const std::vector<char>& info, const wchar_t* name) {
  struct Translation {
    WORD language, code_page;
  }* translation = nullptr;
  UINT size = 0;
  if (!::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &size) ||
      size < sizeof *translation) {
    return L"<no translation>";
  }
  wchar_t path[128];
  swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
           translation->code_page, name);
  wchar_t* value = nullptr;
  if (!::VerQueryValueW(info.data(), path, reinterpret_cast<void**>(&value), &size)) {
    return L"<missing>";
  }
  return std::wstring(value, size > 0 ? size - 1 : 0);
}

TEST(KeywardResources, VersionInformationNamesTheProduct) {
  const std::wstring program = bin_path(L"Keyward.exe");
  const DWORD size = ::GetFileVersionInfoSizeW(program.c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(::GetFileVersionInfoW(program.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size));
  // Major and minor in the high word, patch and a zero fourth part in the low one.
  const DWORD high = version_major << 16 | version_minor;
  const DWORD low = version_patch << 16;
  EXPECT_EQ(fixed->dwFileVersionMS, high);
  EXPECT_EQ(fixed->dwFileVersionLS, low);
  EXPECT_EQ(fixed->dwProductVersionMS, high);
  EXPECT_EQ(fixed->dwProductVersionLS, low);

  const std::wstring text(version_text.begin(), version_text.end());
  EXPECT_EQ(version_string(info, L"FileVersion"), text);
  EXPECT_EQ(version_string(info, L"ProductVersion"), text);
  EXPECT_EQ(version_string(info, L"ProductName"), L"Vorlane");
  EXPECT_EQ(version_string(info, L"FileDescription"), L"Vorlane remote desktop host");
}

struct FreeModule {
  void operator()(HMODULE module) const { ::FreeLibrary(module); }
};

#pragma pack(push, 2)
struct IconGroupHeader {
  WORD reserved, type, count;
};
struct IconGroupEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

// The resource types by number: the RT_ macros follow the narrow/wide setting of the build.
const LPCWSTR icon_type = MAKEINTRESOURCEW(3);
const LPCWSTR icon_group_type = MAKEINTRESOURCEW(14);
const LPCWSTR manifest_type = MAKEINTRESOURCEW(24);

std::string_view resource_bytes(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HRSRC found = ::FindResourceW(module, name, type);
  if (!found) return {};
  HGLOBAL loaded = ::LoadResource(module, found);
  if (!loaded) return {};
  return {static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(module, found)};
}

TEST(KeywardResources, IconGroupHoldsNineSizesAndManifestRunsAsInvoker) {
  std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule> module(
      ::LoadLibraryExW(bin_path(L"Keyward.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(module);

  const auto group = resource_bytes(module.get(), MAKEINTRESOURCEW(1), icon_group_type);
  ASSERT_GE(group.size(), sizeof(IconGroupHeader));
  const auto* header = reinterpret_cast<const IconGroupHeader*>(group.data());
  EXPECT_EQ(header->type, 1);
  ASSERT_EQ(header->count, 9);
  ASSERT_GE(group.size(), sizeof(IconGroupHeader) + 9 * sizeof(IconGroupEntry));
  const auto* entries = reinterpret_cast<const IconGroupEntry*>(group.data() + sizeof *header);
  std::multiset<int> sizes;
  for (int i = 0; i < header->count; ++i) {
    const int width = entries[i].width == 0 ? 256 : entries[i].width;
    const int height = entries[i].height == 0 ? 256 : entries[i].height;
    EXPECT_EQ(width, height);
    sizes.insert(width);
    // Each entry's image is there in full.
    EXPECT_EQ(resource_bytes(module.get(), MAKEINTRESOURCEW(entries[i].id), icon_type).size(),
              entries[i].bytes);
  }
  EXPECT_EQ(sizes, (std::multiset<int>{16, 20, 24, 32, 40, 48, 64, 128, 256}));

  const auto manifest = resource_bytes(module.get(), MAKEINTRESOURCEW(1), manifest_type);
  EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string_view::npos);
  EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string_view::npos);
  // The build writes the manifest's version from the same number as the version resource.
  const std::string identity = "version=\"" + std::string(version_text) + ".0\"";
  EXPECT_NE(manifest.find(identity), std::string_view::npos) << identity;
}

}  // namespace
}  // namespace vorlane::testing
