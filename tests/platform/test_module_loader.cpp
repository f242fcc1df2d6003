#include <string>

#include <gtest/gtest.h>

#include "windows.h"

namespace {

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH];
  return GetModuleFileNameW(module, path, MAX_PATH) > 0 ? path : L"";
}

}  // namespace

// Tests that "Name.dll" loads libName.so found beside the executable, and its export is found.
TEST(ModuleLoader, DllNameLoadsSharedObjectBesideExecutable) {
  HMODULE module = LoadLibraryW(L"KcmTestCounter.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_TRUE(EndsWith(ModulePath(module), L"/libKcmTestCounter.so"));
  EXPECT_NE(GetProcAddress(module, "CreateTestCounter"), nullptr);
  EXPECT_TRUE(FreeLibrary(module));
}

// Tests that the library's own name resolves to libKestroCommonModule.so. The module
// stays loaded, as in a host: unloading Qt with it would report Qt's load-time
// allocations as leaks.
TEST(ModuleLoader, LibraryOwnNameResolves) {
  HMODULE module = LoadLibraryW(L"KestroCommonModule.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_TRUE(EndsWith(ModulePath(module), L"/libKestroCommonModule.so"));
}

TEST(ModuleLoader, DllExtensionIsCaseInsensitiveAndPathsAreKept) {
  HMODULE byUpperCase = LoadLibraryA("KcmTestCounter.DLL");
  ASSERT_NE(byUpperCase, nullptr);
  char path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(byUpperCase, path, MAX_PATH), 0u);
  std::string directory(path);
  directory.resize(directory.rfind('/'));
  HMODULE byPath = LoadLibraryA((directory + "/KcmTestCounter.dll").c_str());
  EXPECT_EQ(byPath, byUpperCase);
  EXPECT_TRUE(FreeLibrary(byPath));
  EXPECT_TRUE(FreeLibrary(byUpperCase));
}

TEST(ModuleLoader, MissingModuleOrEntryPointFailsWithItsCode) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(L"NoSuchModule.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryW(nullptr), nullptr);

  HMODULE module = LoadLibraryW(L"KcmTestCounter.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetProcAddress(module, "NoSuchEntry"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);
  EXPECT_TRUE(FreeLibrary(module));
}

// Tests that handles that were never loaded, or already freed, are refused rather than used.
TEST(ModuleLoader, ForeignHandlesAreRefused) {
  int notAModule = 0;
  HMODULE bogus = reinterpret_cast<HMODULE>(&notAModule);
  EXPECT_EQ(GetProcAddress(bogus, "CreateTestCounter"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FreeLibrary(bogus));
  EXPECT_FALSE(FreeLibrary(nullptr));
  wchar_t path[MAX_PATH];
  EXPECT_EQ(GetModuleFileNameW(bogus, path, MAX_PATH), 0u);

  HMODULE module = LoadLibraryW(L"KcmTestCounter.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_FALSE(FreeLibrary(module));
}

// Tests that GetModuleHandle finds a loaded module by its Windows name without a new reference.
TEST(ModuleLoader, ModuleHandleFindsLoadedModules) {
  EXPECT_EQ(GetModuleHandleW(L"KcmTestCounter.dll"), nullptr);
  HMODULE module = LoadLibraryW(L"KcmTestCounter.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetModuleHandleW(L"KcmTestCounter.dll"), module);
  EXPECT_EQ(GetModuleHandleA("libKcmTestCounter.so"), module);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandleW(L"KcmTestCounter.dll"), nullptr);
  EXPECT_NE(GetModuleHandleW(nullptr), nullptr);
}

TEST(ModuleLoader, ExecutablePathAndTruncation) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(std::string(path).substr(std::string(path).rfind('/') + 1), "kcm_platform_tests");

  char small[5];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::string(small), std::string(path, 4));
}
